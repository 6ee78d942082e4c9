"""What the end-to-end window tests share: they are skipped (exit 77) without
the GUI robot's packages (xvfb python3-pyatspi at-spi2-core dbus-x11
xdotool), and each runs the robot in a D-Bus session and on a display of its
own."""
import os, shutil, sys

SKIP = 77


def robot():
    """The gui module, once this script runs in its own D-Bus session."""
    for tool in ('Xvfb', 'dbus-run-session', 'xdotool'):
        if not shutil.which(tool):
            print('skipped: %s missing' % tool)
            sys.exit(SKIP)
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        print('skipped: python3-pyatspi missing')
        sys.exit(SKIP)
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import gui
    gui.reexec_in_dbus()
    return gui


def free_display(candidates):
    for n in candidates:
        if not os.path.exists('/tmp/.X11-unix/X%d' % n) and not os.path.exists('/tmp/.X%d-lock' % n):
            return ':%d' % n
    return None


def wait_for_display(display, secs=30):
    """True once the X server of display (":n") takes connections; the robot's
    fixed pause is too short for Xvfb on a loaded machine."""
    import time
    sock = '/tmp/.X11-unix/X' + display.lstrip(':')
    end = time.time() + secs
    while time.time() < end:
        if os.path.exists(sock):
            time.sleep(0.3)
            return True
        time.sleep(0.1)
    return False
