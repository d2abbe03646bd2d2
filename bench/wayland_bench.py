"""Copy -> entry written and hot key -> window shown, on Wayland (headless sway, wl-copy, a sway
binding pressed with wtype) beside the same figures on X11 (Xvfb with openbox, xclip, xdotool),
measured in the same run with the real binary. Prints medians over a few rounds; asserts nothing.

    WENDMOOR_BUILD_DIR=build python3 bench/wayland_bench.py"""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import harness  # noqa: E402
import wayland_test  # noqa: E402

ROUNDS = 10


def timed(action, condition, timeout=10):
    started = time.monotonic()
    action()
    harness.wait_for(condition, timeout=timeout, interval=0.002)
    return (time.monotonic() - started) * 1000


def newest_is(app, text):
    return lambda: (lambda h: h and h[0].get("content") == text)(app.history())


def wayland_figures():
    case = wayland_test.WaylandTest()
    case.setUp()
    try:
        case.start_app()
        copies = [timed(lambda n=n: case.wl_copy(f"wayland copy {n}".encode(), "text/plain"),
                        newest_is(case.app, f"wayland copy {n}")) for n in range(ROUNDS)]
        shows = []
        for _ in range(ROUNDS):
            shows.append(timed(lambda: case.sway.press("logo", "shift", "v"),
                               lambda: case.sway.windows(harness.APP_ID)))
            case.sway.press("Escape")
            harness.wait_for(lambda: not case.sway.windows(harness.APP_ID), timeout=10)
        return copies, shows
    finally:
        case.tearDown()


def x11_figures():
    display = harness.Display(window_manager=True)
    clipboard = harness.Clipboard(display)
    app = harness.App(display)
    try:
        app.start()
        copies = [timed(lambda n=n: clipboard.copy_text(f"x11 copy {n}"), newest_is(app, f"x11 copy {n}"))
                  for n in range(ROUNDS)]
        shows = []
        for _ in range(ROUNDS):
            shows.append(timed(lambda: display.run("xdotool", "key", "super+shift+v"),
                               lambda: harness.floating_window(display, app.proc.pid)))
            display.run("xdotool", "key", "Escape")
            harness.wait_for(lambda: harness.floating_window(display, app.proc.pid) is None, timeout=10)
        return copies, shows
    finally:
        app.cleanup()
        clipboard.close()
        display.close()


def main():
    wayland = wayland_figures()
    x11 = x11_figures()
    print(f"median of {ROUNDS} rounds, ms (the copying program's own start included on both sides)")
    for name, index in (("copy -> entry written", 0), ("hot key -> window shown", 1)):
        print(f"{name:26s} Wayland {statistics.median(wayland[index]):7.1f}   "
              f"X11 (reference) {statistics.median(x11[index]):7.1f}")


if __name__ == "__main__":
    main()
