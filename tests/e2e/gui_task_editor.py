"""The real pelkor on an X display, its task and resource editors driven as a
user does (mouse, real key presses, controls found by role and caption
through the accessibility interface): an inserted empty row and a bad address
are refused or left out, the saved start file and the CSV head line line up
with the values, also after a restart.

Usage: gui_task_editor.py <bin folder>. Exit 77 (skipped) without the
GUI-robot packages (xvfb python3-pyatspi at-spi2-core dbus-x11 xdotool)."""
import glob, os, shutil, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import gui_e2e  # noqa: E402

SKIP = gui_e2e.SKIP
gui = gui_e2e.robot()

BIN = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ''
WORK = tempfile.mkdtemp(prefix='pelkor-editor-')
START = os.path.join(WORK, 'plant.pelk')
OUT = os.path.join(WORK, 'out')
DATA = 'R 5,R 0 [2],F 0 [3]'
HEADS = 'Level,T<$I>,D<$I>'


def fail(message):
    print('FAIL: ' + message)
    sys.exit(1)


def free_display():
    return gui_e2e.free_display([72, 82] + list(range(90, 170)))


def key(section, name):
    current = None
    with open(START, newline='') as f:
        for line in f.read().splitlines():
            if line.startswith('['):
                current = line.strip('[]')
            elif current == section and line.split('=', 1)[0] == name:
                return line.split('=', 1)[1]
    return None


def need(node, what):
    if node is None:
        fail(what)
    return node


def answer(d, app, expect, button='OK'):
    """The message box that must be open: its text holds `expect`; press `button`."""
    end = time.time() + 10
    while time.time() < end:
        for box in d.find_all(app, 'alert'):
            texts = ' '.join((n.name or '') for n in d.find_all(box, 'label'))
            if expect not in texts:
                fail('message box says %r, expected %r' % (texts, expect))
            d.press(need(d.find(box, 'push button', button), 'no %s in the message box' % button))
            time.sleep(0.5)
            return
        time.sleep(0.25)
    fail('no message box with %r' % expect)


def open_editor(d, app):
    main_window = need(d.wait_frame(app, 'Pelkor Application'), 'no frame "Pelkor Application"')
    need(d.press(d.find(main_window, 'menu item', 'Tasks...')), 'no "Tasks..." menu item')
    return need(d.wait_frame(app, 'Pelkor [%s]' % START), 'the task editor is not a window named by its caption')


def csv_lines():
    files = glob.glob(os.path.join(OUT, 'plant*'))
    if len(files) != 1:
        fail('expected one output file, found %s' % files)
    with open(files[0], newline='') as f:
        return [l for l in f.read().split('\r\n') if l]


def read_now(d, editor, lines):
    d.click(need(d.find(editor, 'push button', 'Read Now'), 'no "Read Now" button'))
    end = time.time() + 20
    while time.time() < end:
        if glob.glob(os.path.join(OUT, 'plant*')) and len(csv_lines()) >= lines:
            return csv_lines()
        time.sleep(0.3)
    fail('Read Now wrote no record')


def edit_list(d, app, editor):
    d.press(need(d.find(editor, 'push button', 'Addresses and Headline ...'), 'no resource editor button'))
    res = need(d.wait_frame(app, 'Edit Values and Headline'), 'the resource editor did not open')
    d.click(need(d.find(res, 'push button', 'Insert'), 'no Insert'))
    d.click(need(d.find(res, 'push button', 'Apply'), 'no Apply'))  # the empty row goes, with no head
    if key('Task1', 'Data') != 'R 0 [2],F 0 [3]':
        fail('start file changed before Save')
    d.click(d.find(res, 'push button', 'Insert'))
    d.type_into(need(d.find(res, 'text', 'Address'), 'no Address box'), '99999')
    d.press(d.find(res, 'push button', 'Apply'))
    answer(d, app, 'Row 1 : R 99999 out of range')
    d.type_into(d.find(res, 'text', 'Address'), '5')
    d.type_into(need(d.find(res, 'text', 'Headline'), 'no Headline box'), 'Level')
    d.click(d.find(res, 'push button', 'Apply'))
    d.click(d.find(res, 'push button', 'Close'))
    time.sleep(0.5)


def check_lines(lines, records):
    heads = lines[0].split(';')
    if heads != ['Time', 'Level', 'T0', 'T1', 'D0', 'D1', 'D2']:
        fail('head line %r' % lines[0])
    if len(lines) != 1 + records or any(len(l.split(';')) != len(heads) for l in lines[1:]):
        fail('records do not line up with the head line: %r' % lines)


def main():
    os.makedirs(OUT)
    with open(START, 'w', newline='') as f:
        f.write('[Pelkor]\r\nVersion=3\r\nLogFolder=%s\r\nLogUsed=1\r\nTask=1\r\n[Connection]\r\nAutoConnect=0\r\n'
                'Station=0\r\nDLL=0\r\n[Task1]\r\nSettings=1\r\nReadInterval=1\r\nIntervalUnit=2\r\nFileType=CSV\r\n'
                'OutFolder=%s\r\nFileName=plant\r\nFileNew=3\r\nHeadLines=1\r\nTimeStamp=1,Time\r\n'
                'Data=R 0 [2],F 0 [3]\r\nDataHead=T<$I>,D<$I>\r\n' % (WORK, OUT))
    display = free_display()
    if display is None:
        print('skipped: no free display number')
        sys.exit(SKIP)
    link = os.path.join(WORK, 'pcd')
    sim = subprocess.Popen(['timeout', '250', os.path.join(BIN, 'pcdsim'), '--link', link],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    sim.stdout.readline()
    env = {'XDG_DATA_HOME': os.path.join(WORK, 'xdg'), 'PELSBUS_COM1': link, 'QT_QPA_PLATFORM': 'xcb',
           'LC_ALL': 'C'}
    try:
        with gui.Desktop(display=display) as d:
            if not gui_e2e.wait_for_display(display):
                fail('Xvfb did not start on ' + display)
            proc, app = d.launch([os.path.join(BIN, 'pelkor'), START, 'PG5=20'], name='pelkor', cwd=WORK, env=env)
            if app is None:
                fail('pelkor did not appear on the accessibility bus: ' +
                     (proc.stderr.read() if proc.poll() is not None else 'still running'))
            editor = open_editor(d, app)
            edit_list(d, app, editor)
            if d.text(d.find(editor, 'text', 'Addresses')) != DATA:
                fail('Addresses box shows %r' % d.text(d.find(editor, 'text', 'Addresses')))
            d.click(need(d.find(editor, 'push button', 'Save'), 'no Save'))
            time.sleep(0.5)
            if (key('Task1', 'Data'), key('Task1', 'DataHead')) != (DATA, HEADS):
                fail('start file holds %r / %r' % (key('Task1', 'Data'), key('Task1', 'DataHead')))
            check_lines(read_now(d, editor, 2), 1)
            d.click(d.find(editor, 'push button', 'Exit'))
            proc.terminate()
            proc.wait(15)

            proc, app = d.launch([os.path.join(BIN, 'pelkor'), START, 'PG5=20'], name='pelkor', cwd=WORK, env=env)
            editor = open_editor(d, need(app, 'pelkor did not come back'))
            if d.text(d.find(editor, 'text', 'Addresses')) != DATA:
                fail('after the restart the Addresses box shows %r' % d.text(d.find(editor, 'text', 'Addresses')))
            check_lines(read_now(d, editor, 3), 2)
            proc.terminate()
            proc.wait(15)
    finally:
        sim.terminate()
    with open(os.path.join(WORK, 'Pelkor.txt'), errors='replace') as f:
        if 'do not line up' in f.read():
            fail('the saved pair was reported as not lining up')
    shutil.rmtree(WORK, ignore_errors=True)
    print('ok')


main()
