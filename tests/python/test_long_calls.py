"""Long calls run without the GIL and stop when asked: by a Cancel token from another thread,
by a progress callback returning False, by an exception in the callback, or by Ctrl-C."""

import textwrap
import threading

import numpy as np
import pytest

import polydec

# Kroener stress factors of an untextured sample take about a millisecond per direction: this
# many directions run for several seconds unless stopped.
MANY = 20000


def long_stress_factors(**kwargs):
    phi = np.linspace(0.0, 360.0, MANY)
    return polydec.stress_factors("iron", "2 1 1", phi, 45.0, model="kroener", **kwargs)


def test_a_call_cancelled_from_another_thread_stops():
    token = polydec.Cancel()
    reports = []
    # The timer thread needs the GIL to cancel: it gets it only because the call released it.
    timer = threading.Timer(0.3, token.cancel)
    timer.start()
    try:
        with pytest.raises(polydec.Cancelled):
            long_stress_factors(cancel=token, progress=lambda done, total: reports.append(done))
    finally:
        timer.cancel()
    assert token.cancelled
    assert reports and reports[-1] < MANY
    token.reset()
    F, intensity = polydec.stress_factors("iron", "2 1 1", [0, 90], [45, 45], cancel=token)
    assert F.shape == (2, 6)


def test_a_callback_returning_false_stops_and_progress_reaches_the_end():
    reports = []

    def stop_at_the_second_report(done, total):
        reports.append((done, total))
        return len(reports) < 2

    with pytest.raises(polydec.Cancelled):
        long_stress_factors(progress=stop_at_the_second_report)
    assert len(reports) == 2 and reports[-1][0] < MANY and reports[-1][1] == MANY

    reports.clear()
    polydec.stress_factors("iron", "2 1 1", [0, 90, 180], 30, progress=lambda d, t: reports.append((d, t)))
    assert reports[-1] == (3, 3)


def test_an_exception_in_the_callback_ends_the_call_with_it():
    def fail(done, total):
        raise LookupError("from the callback")

    with pytest.raises(LookupError, match="from the callback"):
        long_stress_factors(progress=fail)


@pytest.mark.parametrize("call", [
    lambda token: polydec.dec("iron", [(2, 1, 1)] * 3000, cancel=token),
    lambda token: polydec.macro_stiffness(
        "iron", polydec.load_texture("examples/rolling_cubic.odf"), model="kroener",
        cancel=token),
    lambda token: polydec.load_worksheet("examples/ferrite_211_stress.tsd").calc_dec(
        "iron", cancel=token),
], ids=["dec", "macro_stiffness", "calc_dec"])
def test_every_long_call_takes_a_token(call):
    token = polydec.Cancel()
    token.cancel()
    with pytest.raises(polydec.Cancelled):
        call(token)


def test_ctrl_c_stops_a_call_with_keyboard_interrupt(run_python):
    code = textwrap.dedent(f"""
        import os, signal, threading
        import numpy as np
        import polydec
        reports = []
        threading.Timer(0.3, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
        try:
            polydec.stress_factors("iron", "2 1 1", np.linspace(0, 360, {MANY}), 45,
                                   progress=lambda done, total: reports.append(done))
            print("finished")
        except KeyboardInterrupt:
            print("interrupted", reports[-1] < {MANY})
        print(polydec.dec("iron", "2 1 1").s1)
    """)
    out = run_python(code)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.split()
    assert lines[:2] == ["interrupted", "True"]
    assert float(lines[2]) == polydec.dec("iron", "2 1 1").s1


def test_calls_on_two_threads_give_the_serial_numbers():
    """Without the GIL two calls run at once in the engine; neither may disturb the other."""
    phi = np.linspace(0.0, 360.0, 200)
    serial = [polydec.stress_factors("iron", "2 1 1", phi, 30.0, model=m)[0]
              for m in ("kroener", "reuss")]
    results = {}

    def run(model):
        results[model] = polydec.stress_factors("iron", "2 1 1", phi, 30.0, model=model)[0]

    threads = [threading.Thread(target=run, args=(m,)) for m in ("kroener", "reuss")]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results["kroener"].tolist() == serial[0].tolist()
    assert results["reuss"].tolist() == serial[1].tolist()
