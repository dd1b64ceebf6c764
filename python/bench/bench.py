"""The Python package beside OpenCV's cv2, in one process, on the same buffers.

    python3 python/bench/bench.py [--kernels=LEVEL[,LEVEL...]] [--sizes=WxH[,WxH...]] [--repeats=N] [--quick]

For each task and size: today's ways (the F-order host array, and that array made C-contiguous
with NumPy, which is what a caller needing C order had to do), the C-order array, and a baseline
timed in the same repetitions (cv2's conversion, or a NumPy copy), each baseline writing into warm
memory laid out like the task's own result (today's ways are timed after them, the F-to-C copy 7
times at most). Figures are medians over the repetitions, in milliseconds; the spread is the
interquartile range of the package's C-order times, as a share of their median, and faults the
page faults a C-order call met (fresh pages from the system, which a loop converting frame after
frame into reused memory never meets). Ratios are medians of each repetition's ratio. The goals
each ratio is held to are printed beside it; timings are reported, never asserted. Before each task the benchmark waits (up
to --patience seconds) for the machine to be quiet, and measures it again (up to --attempts times)
while other processes took more than --busy of it meanwhile, or while the package's times (or the
two threads' rates) spread wider than --steady, keeping the quietest attempt; "others" is the share
of all cores' time that other processes took during the attempt shown: figures taken beside a busy
neighbour say little. A wide spread with no others is a neighbour this machine cannot see: on a
virtual machine, another guest on the same host (there, a 1920x1080 frame's YUV image took 0.48 ms,
the median of 60 calls, and 0.65 ms a few seconds later, with no other process running and no page
fault).

cv2 uses every core for its conversions (cv2.getNumThreads() says how many); the package converts
on the calling thread. cv2's grey and YUV are its own formulas, not the package's: the tasks are
alike, the values are not.
"""

from __future__ import annotations

import argparse
import math
import os
import platform
import resource
import statistics
import sys
import threading
import time
from typing import Callable, Iterator, Literal, Optional

import cv2
import numpy as np
import numpy.typing as npt

import zorvframekit as zfk
from zorvframekit import _zorvframekit as native

Call = Callable[[], object]


def processor() -> str:
    fields: dict[str, str] = {}
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if ":" in line:
                    key, _, value = line.partition(":")
                    fields.setdefault(key.strip(), value.strip())
                if not line.strip() and fields:
                    break
    except OSError:
        return platform.processor() or "unknown processor"
    return (f"{fields.get('model name', 'unknown')}, family {fields.get('cpu family', '?')} "
            f"model {fields.get('model', '?')}, {os.cpu_count()} cores")


class CpuTimes:
    """The machine's and this process's processor time so far (Linux), to tell how much of it other
    processes took meanwhile: on a shared machine, the figures of a task they were busy through are
    not this package's alone."""

    def __init__(self) -> None:
        self.total = self.idle = self.mine = 0
        try:
            with open("/proc/stat") as stat:
                values = [int(v) for v in stat.readline().split()[1:9]]
            with open("/proc/self/stat") as own:
                fields = own.read().rsplit(")", 1)[1].split()
        except (OSError, ValueError, IndexError):
            return
        self.total, self.idle = sum(values), values[3] + values[4]
        self.mine = int(fields[11]) + int(fields[12])  # user and system time, every thread's

    def others_since(self, before: CpuTimes) -> float:
        """The share of every core's time since `before` that other processes used."""
        total = self.total - before.total
        if total <= 0:
            return float("nan")
        return max(0.0, total - (self.idle - before.idle) - (self.mine - before.mine)) / total


def wait_until_quiet(limit: float, patience: float) -> float:
    """Waits (at most `patience` seconds) until other processes use less than `limit` of the
    machine over half a second; gives how long it waited."""
    start = time.perf_counter()
    while time.perf_counter() - start < patience:
        before = CpuTimes()
        time.sleep(0.5)
        if CpuTimes().others_since(before) < limit:
            break
    return time.perf_counter() - start


# Seconds of calls before a task's first sample (none in a quick run).
warm_up = 0.05


def calls_per_sample(call: Call) -> int:
    """Calls a sample takes so that it lasts some 2 ms: the clock's own cost then does not count.
    Some 50 ms of calls first, so that the allocator has settled on where such arrays go and the
    processor on its clock (the first task of a size measured up to twice its later figures without)."""
    warmed = time.perf_counter()
    call()
    while time.perf_counter() - warmed < warm_up:
        call()
    start = time.perf_counter()
    call()
    once = time.perf_counter() - start
    return max(1, min(1000, int(2e-3 / max(once, 1e-7))))


def timed(call: Call, count: int) -> float:
    start = time.perf_counter()
    for _ in range(count):
        call()
    return (time.perf_counter() - start) / count


class Row:
    """A task's figures: ratio is new / baseline, held to at most `goal` (at least, for a rate)."""

    def __init__(self, task: str, size: str, goal: float, versus: str, rate: bool = False):
        self.task, self.size, self.goal, self.versus, self.rate = task, size, goal, versus, rate
        self.today_f = self.today_c = self.new = self.baseline = self.ratio = self.spread = float("nan")
        self.others = self.faults = float("nan")

    def line(self) -> str:
        holds = self.ratio >= self.goal if self.rate else self.ratio <= self.goal
        goal = f"{'>=' if self.rate else '<='}{self.goal:.1f}"
        return (f"{self.task:32} {self.size:>9} {self.today_f:7.3f} {self.today_c:7.3f} {self.new:7.3f} "
                f"{self.spread:6.0%} {self.faults:6.1f} {self.baseline:8.3f}  {self.ratio:6.2f} {goal:>5} "
                f"{'holds' if holds else 'MISSED':6} {self.others:6.0%}  {self.versus}")


# (limit, patience, attempts, steady) for quietest(); None: measure once, without waiting.
quiet: Optional[tuple[float, float, int, float]] = None


def quietest(measure: Callable[[], Row]) -> Row:
    """measure(), again while other processes took more than the limit of the machine meanwhile, or
    while the row's spread was wider than `steady` (up to the attempts given), each time after
    waiting for a quiet moment: the figures of the quietest attempt, which its `others` and spread
    tell (an attempt within the limit before one beyond it, then the narrower spread)."""
    if quiet is None:
        return measure()
    limit, patience, attempts, steady = quiet

    def unrest(row: Row) -> tuple[bool, float, float]:
        return (not row.others < limit, 0.0 if math.isnan(row.spread) else row.spread, row.others)

    best: Optional[Row] = None
    for _ in range(attempts):
        wait_until_quiet(limit, patience)
        started = CpuTimes()
        row = measure()
        row.others = CpuTimes().others_since(started)
        if best is None or unrest(row) < unrest(best):
            best = row
        if row.others < limit and not row.spread > steady:
            break
    assert best is not None
    return best


def compare(task: str, size: str, new: Call, baseline: Call, repeats: int, goal: float, versus: str,
            today_f: Optional[Call] = None, today_c: Optional[Call] = None) -> Row:
    """new against baseline, sample by sample, alternating; today's ways timed in the same repetitions."""
    return quietest(lambda: measure_pair(Row(task, size, goal, versus), new, baseline, repeats, today_f, today_c))


def spread_of(values: list[float]) -> float:
    """The interquartile range of `values` as a share of their median (NaN for fewer than 4)."""
    if len(values) < 4:
        return float("nan")
    quartiles = statistics.quantiles(values, n=4)
    return (quartiles[2] - quartiles[0]) / statistics.median(values)


def measure_pair(row: Row, new: Call, baseline: Call, repeats: int, today_f: Optional[Call],
                 today_c: Optional[Call]) -> Row:
    started = CpuTimes()
    count = calls_per_sample(new)
    base_count = calls_per_sample(baseline)
    if today_f is not None:
        calls_per_sample(today_f)
    news, bases, ratios, fs, cs = [], [], [], [], []
    faults = 0
    for _ in range(repeats):
        before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
        news.append(timed(new, count))
        faults += resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before
        bases.append(timed(baseline, base_count))
        ratios.append(news[-1] / bases[-1])
    # Today's ways after, not between: their arrays of twice the size, freed together, leave the
    # heap's top free enough for the C library to give it back, and the next array of a new or a
    # baseline sample then comes on fresh pages (a page fault every 4 KB), which a loop converting
    # frame after frame never sees.
    for _ in range(repeats):
        if today_f is not None:
            fs.append(timed(today_f, count))
    for _ in range(min(repeats, 7)):
        if today_c is not None:
            cs.append(timed(today_c, 1))
    row.new, row.baseline, row.ratio = 1e3 * statistics.median(news), 1e3 * statistics.median(bases), statistics.median(ratios)
    row.faults = faults / (repeats * count)
    row.spread = spread_of(news)
    if fs:
        row.today_f = 1e3 * statistics.median(fs)
    if cs:
        row.today_c = 1e3 * statistics.median(cs)
    row.others = CpuTimes().others_since(started)
    return row


def frame_of(name: str, width: int, height: int, rng: np.random.Generator, limiter: zfk.MemoryLimiter) -> zfk.Frame:
    frame = zfk.Frame(name, width, height, limiter)
    frame.copy_data(rng.integers(0, 256, frame.data_size, dtype=np.uint8))
    return frame


def threads_rate(frames: list[zfk.Frame], calls: int) -> float:
    """Conversions a second of `len(frames)` threads, each converting its own frame `calls` times."""
    ready = threading.Barrier(len(frames) + 1)

    def work(frame: zfk.Frame) -> None:
        ready.wait()
        for _ in range(calls):
            frame.to_array("rgb")

    threads = [threading.Thread(target=work, args=(frame,)) for frame in frames]
    for thread in threads:
        thread.start()
    ready.wait()
    start = time.perf_counter()
    for thread in threads:
        thread.join()
    return len(frames) * calls / (time.perf_counter() - start)


def bench_size(width: int, height: int, repeats: int, quick: bool) -> Iterator[Row]:
    size = f"{width}x{height}"
    rng = np.random.default_rng(width * height)
    limiter = zfk.MemoryLimiter(minimum=2_000_000_000, maximum=2_000_000_000)

    def warm(shape: tuple[int, ...]) -> npt.NDArray[np.uint8]:
        return np.ones(shape, np.uint8)  # written once: its pages are the process's before timing

    rgb_out = warm((height, width, 3))
    cv2_inputs = {
        "YUY2": (cv2.COLOR_YUV2RGB_YUY2, (height, width, 2)),
        "UYVY": (cv2.COLOR_YUV2RGB_UYVY, (height, width, 2)),
        "I420": (cv2.COLOR_YUV2RGB_I420, (height * 3 // 2, width)),
        "YV12": (cv2.COLOR_YUV2RGB_YV12, (height * 3 // 2, width)),
    }
    for name, (code, shape) in cv2_inputs.items():
        frame = frame_of(name, width, height, rng, limiter)
        raw = rng.integers(0, 256, shape, dtype=np.uint8)
        yield (compare(
            f"{name} to RGB", size, lambda: frame.to_array("rgb"),
            lambda: cv2.cvtColor(raw, code, dst=rgb_out), repeats, 0.8, "cv2.cvtColor",
            lambda: frame.to_array("rgb", "F"), lambda: np.ascontiguousarray(frame.to_array("rgb", "F"))))

    rgb_frame = frame_of("RGB24", width, height, rng, limiter)
    rgb = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
    grey_out = warm((height, width))
    yield (compare(
        "RGB24 to grey", size, lambda: rgb_frame.to_array("mono"),
        lambda: cv2.cvtColor(rgb, cv2.COLOR_RGB2GRAY, dst=grey_out), repeats, 1.0, "cv2.cvtColor",
        lambda: rgb_frame.to_array("mono", "F"), lambda: np.ascontiguousarray(rgb_frame.to_array("mono", "F"))))
    yield (compare(
        "RGB24 to YUV", size, lambda: rgb_frame.to_array("yuv"),
        lambda: cv2.cvtColor(rgb, cv2.COLOR_RGB2YUV, dst=rgb_out), repeats, 1.0, "cv2.cvtColor",
        lambda: rgb_frame.to_array("yuv", "F"), lambda: np.ascontiguousarray(rgb_frame.to_array("yuv", "F"))))

    mono = frame_of("Mono8", width, height, rng, limiter)
    mono_raw = rng.integers(0, 256, (height, width), dtype=np.uint8)
    yield (compare(
        "Mono8 native", size, lambda: mono.to_array(), lambda: np.copyto(grey_out, mono_raw), repeats, 1.2,
        "NumPy copy", lambda: mono.to_array(order="F"), lambda: np.ascontiguousarray(mono.to_array(order="F"))))

    yuy2_code, yuy2_shape = cv2_inputs["YUY2"]
    yuy2_raw = rng.integers(0, 256, yuy2_shape, dtype=np.uint8)
    with zfk.FramePool(limiter) as pool:
        pool.set_limits(2, 4)

        def from_pool(order: Literal["C", "F"]) -> object:
            with pool.get("YUY2", width, height) as frame:
                frame.copy_data(yuy2_raw)
                return frame.to_array("rgb", order)

        yield (compare(
            "YUY2 pool get + copy + RGB", size, lambda: from_pool("C"),
            lambda: cv2.cvtColor(yuy2_raw, yuy2_code, dst=rgb_out), repeats, 1.0, "cv2.cvtColor",
            lambda: from_pool("F"), lambda: np.ascontiguousarray(from_pool("F"))))

    # The formats cv2 lacks, against this package's own YUY2 (colour) or Mono16 (monochrome).
    yuy2 = frame_of("YUY2", width, height, rng, limiter)
    mono16 = frame_of("Mono16", width, height, rng, limiter)
    for name in ("Y41P", "Y411", "IYU2", "UVY", "YVU9", "YVYU"):
        frame = frame_of(name, width, height, rng, limiter)
        yield (compare(
            f"{name} to RGB", size, lambda: frame.to_array("rgb"), lambda: yuy2.to_array("rgb"), repeats, 1.3,
            "YUY2 to RGB", lambda: frame.to_array("rgb", "F"), lambda: np.ascontiguousarray(frame.to_array("rgb", "F"))))
    for name in ("Mono10", "Mono12", "Mono14", "Mono10BE", "Mono12BE", "Mono14BE", "Mono16BE"):
        frame = frame_of(name, width, height, rng, limiter)
        yield (compare(
            f"{name} native", size, lambda: frame.to_array(), lambda: mono16.to_array(), repeats, 1.3, "Mono16 native",
            lambda: frame.to_array(order="F"), lambda: np.ascontiguousarray(frame.to_array(order="F"))))

    # Two threads converting a frame each, against one thread alone.
    if width * height >= 1920 * 1080 or quick:
        pair = [frame_of("YUY2", width, height, rng, limiter) for _ in range(2)]
        calls = 10 if quick else 100

        def rates() -> Row:
            started = CpuTimes()
            ratios = []
            for _ in range(max(3, repeats // 4)):
                one = threads_rate(pair[:1], calls)
                ratios.append(threads_rate(pair, calls) / one)
            row = Row("YUY2 to RGB, 2 threads' rate", size, 1.6, "1 thread's", rate=True)
            row.ratio = statistics.median(ratios)
            row.spread = spread_of(ratios)
            row.others = CpuTimes().others_since(started)
            return row

        yield quietest(rates)


def main(argv: Optional[list[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--kernels", default="best", help="kernel levels to run, comma-separated (default: best)")
    parser.add_argument("--sizes", default="640x480,1920x1080")
    parser.add_argument("--repeats", type=int, default=21)
    parser.add_argument("--quick", action="store_true", help="3 repetitions: a check that it all runs")
    parser.add_argument("--patience", type=float, default=20.0,
                        help="seconds to wait, before each attempt at a task, for other processes to leave the "
                             "machine less busy than --busy (0: no waiting; --quick waits not)")
    parser.add_argument("--attempts", type=int, default=4,
                        help="attempts at a task while others took more than --busy of the machine or its times spread "
                             "wider than --steady; the quietest counts")
    parser.add_argument("--busy", type=float, default=0.1,
                        help="the share of the machine other processes may take while a task is measured (0.1)")
    parser.add_argument("--steady", type=float, default=0.15,
                        help="the spread of a task's times above which it is measured again (0.15)")
    args = parser.parse_args(argv)
    global quiet, warm_up
    warm_up = 0.0 if args.quick else warm_up
    quiet = None if args.quick or args.patience <= 0 else (args.busy, args.patience, max(1, args.attempts), args.steady)
    repeats = 3 if args.quick else args.repeats
    levels = native._kernel_levels()
    wanted = [levels[-1] if level == "best" else level for level in args.kernels.split(",")]
    for level in wanted:
        if level not in levels:
            print(f"this machine runs the kernel levels {', '.join(levels)}, not {level}", file=sys.stderr)
            return 2
    sizes = [tuple(int(n) for n in size.split("x")) for size in args.sizes.split(",")]

    print(f"processor: {processor()}")
    print(f"Python {platform.python_version()}, NumPy {np.__version__}, OpenCV {cv2.__version__} "
          f"({cv2.getNumThreads()} threads), medians of {repeats}")
    best = native._kernels()
    try:
        for level in wanted:
            native._kernels(level)
            print(f"\nkernels: {level}")
            print(f"{'task':32} {'size':>9} {'F':>7} {'F->C':>7} {'C':>7} {'spread':>6} {'faults':>6} {'baseline':>8}  "
                  f"{'C/base':>6} {'goal':>5}        others  against")
            for width, height in sizes:
                for row in bench_size(width, height, repeats, args.quick):
                    print(row.line(), flush=True)
    finally:
        native._kernels(best)
    return 0


if __name__ == "__main__":
    sys.exit(main())
