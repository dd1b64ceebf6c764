"""The benchmark runs, briefly: every task measured at every kernel level asked for. (Its timings
are for reading, not asserting.)"""

import subprocess
import sys
from pathlib import Path

import zorvframekit as zfk

BENCH = Path(__file__).resolve().parents[1] / "bench" / "bench.py"


def test_the_benchmark_measures_every_task():
    levels = zfk._zorvframekit._kernel_levels()
    run = subprocess.run([sys.executable, str(BENCH), "--quick", "--sizes=160x120", f"--kernels={levels[0]},best"],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stdout + run.stderr
    lines = run.stdout.splitlines()
    assert lines[0].startswith("processor: ")
    assert [line for line in lines if line.startswith("kernels:")] == [f"kernels: {levels[0]}", f"kernels: {levels[-1]}"]
    tasks = [line for line in lines if " 160x120 " in line]
    assert len(tasks) == 2 * 22
    for line in tasks:
        figures = line.split(" 160x120 ")[1].split()
        assert "holds" in figures or "MISSED" in figures, line
        assert "threads" in line or float(figures[2]) > 0, line  # the C-order time
    assert zfk._zorvframekit._kernels() == levels[-1]  # the level it ran at is given back
    unknown = subprocess.run([sys.executable, str(BENCH), "--kernels=sse9"], capture_output=True, text=True)
    assert unknown.returncode == 2 and "not sse9" in unknown.stderr
