"""The real pelkor on an X display, driven through the accessibility interface:
the main window's value labels read as shown, and SIGTERM while the settings
window holds an unsaved edit ends the program in order without saving it.

Usage: gui_signals.py <bin folder>. Exit 77 (skipped) without the GUI-robot
packages (xvfb python3-pyatspi at-spi2-core dbus-x11 xdotool)."""
import os, shutil, signal, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import gui_e2e  # noqa: E402

SKIP = gui_e2e.SKIP
gui = gui_e2e.robot()


def free_display():
    return gui_e2e.free_display(range(71, 171))


def fail(message):
    print('FAIL: ' + message)
    sys.exit(1)


def main():
    exe = os.path.join(sys.argv[1], 'pelkor')
    work = tempfile.mkdtemp(prefix='pelkor-gui-')
    start = os.path.join(work, 'plant.pelk')
    text = ('[Pelkor]\r\nVersion=3\r\nLogFolder=%s\r\nLogUsed=1\r\nTask=1\r\n[Connection]\r\nAutoConnect=0\r\n'
            'Station=1\r\nDLL=0\r\n[Task1]\r\nSettings=1\r\nData=R 0\r\nFileType=None\r\n' % work)
    with open(start, 'w', newline='') as f:
        f.write(text)
    display = free_display()
    if display is None:
        print('skipped: no free display number')
        sys.exit(SKIP)
    env = {'XDG_DATA_HOME': os.path.join(work, 'xdg'), 'PELSBUS_COM1': os.path.join(work, 'no-device'),
           'QT_QPA_PLATFORM': 'xcb', 'LC_ALL': 'C'}
    with gui.Desktop(display=display) as d:
        if not gui_e2e.wait_for_display(display):
            fail('Xvfb did not start on ' + display)
        proc, app = d.launch([exe, start, 'PG5=20'], name='pelkor', cwd=work, env=env)
        if app is None:
            fail('pelkor did not appear on the accessibility bus: ' + (proc.stderr.read() if proc.poll() is not None else ''))
        main_window = d.wait_frame(app, 'Pelkor Application')
        if main_window is None:
            fail('no frame "Pelkor Application"')
        if d.find(main_window, 'label', '0', exact=True) is None:
            fail('the task and counter labels do not read "0" as shown')
        if not d.press(d.find(main_window, 'menu item', 'Settings...')):
            fail('no "Settings..." menu item')
        settings = d.wait_frame(app, 'Pelkor [%s]' % start)
        if settings is None:
            fail('the settings window did not open')
        box = d.find(settings, 'check box', 'Automatic connect')
        if box is None or not d.press(box):
            fail('no "Automatic connect" check box')
        time.sleep(0.5)
        proc.send_signal(signal.SIGTERM)  # timeout(1) hands it to pelkor
        try:
            status = proc.wait(15)
        except Exception:
            fail('SIGTERM did not end pelkor with the settings window open')
    if status != 0:
        fail('exit status %d' % status)
    with open(start, newline='') as f:
        if f.read() != text:
            fail('the unsaved edit was written')
    with open(os.path.join(work, 'Pelkor.txt'), errors='replace') as f:
        log = f.read()
    discarded = log.find('unsaved changes were discarded')
    if discarded < 0 or log.find('Stop the application.', discarded) < 0:
        fail('log lacks the discard line before "Stop the application.":\n' + log)
    shutil.rmtree(work, ignore_errors=True)
    print('ok')


main()
