"""Pools from Python: recycling, the worker, closing with frames out, many threads at once."""

import threading
import time

import numpy as np
import pytest

import zorvframekit as zfk


def wait_for(condition, seconds=10.0):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.005)
    return True


def test_a_released_frame_comes_back_with_its_buffer(limiter):
    with zfk.FramePool(limiter) as pool:
        assert pool.limiter is limiter
        pool.set_limits(0, 4)
        frame = pool.get("Mono8", 4, 2)
        frame.copy_data(bytes(range(8)))
        frame.metadata["n"] = 1.0
        frame.release()
        assert pool.frame_count == 1 and limiter.used == 8
        again = pool.get("Mono8", 4, 2)  # the same frame, as it was given back
        assert pool.frame_count == 0
        np.testing.assert_array_equal(again.to_array(), np.arange(8).reshape(2, 4))
        assert again.metadata["n"] == 1.0
        del again  # dropping the last reference gives it back too
        assert pool.frame_count == 1
    assert pool.closed and limiter.used == 0


def test_the_worker_keeps_frames_ready_until_stopped(limiter):
    pool = zfk.FramePool(limiter)
    pool.set_limits(3, 5)
    with pool.get("YUY2", 64, 16) as frame:  # the format the worker makes from now on
        frame.copy_data(bytes(2048))
    assert wait_for(lambda: pool.frame_count == 3)
    assert limiter.used == 3 * 2048  # made with their buffers
    pool.stop()
    assert pool.frame_count == 0 and limiter.used == 0
    with pool.get("YUY2", 64, 16) as frame:  # still hands frames out, but keeps none back
        frame.copy_data(bytes(2048))
    assert pool.frame_count == 0 and limiter.used == 0
    pool.close()


def test_frames_outlive_their_pool(limiter):
    pool = zfk.FramePool(limiter)
    pool.set_limits(0, 2)
    frame = pool.get("RGB24", 2, 2)
    frame.copy_data(bytes(range(12)))
    pool.close()
    pool.close()
    assert frame.to_array()[0, 1].tolist() == [3, 4, 5]
    frame.release()  # deleted: there is no pool to go back to
    assert limiter.used == 0
    kept = zfk.FramePool(limiter).get("Mono8", 2, 2)  # the pool object is collected at once
    kept.copy_data(bytes(4))
    assert limiter.used == 4
    del kept
    assert limiter.used == 0


def test_many_threads_share_one_pool(limiter):
    pool = zfk.FramePool(limiter)
    pool.set_limits(2, 6)
    source = np.random.default_rng(1).integers(0, 256, 2 * 40 * 30, dtype=np.uint8)
    expected = zfk.Frame("UYVY", 40, 30, limiter)
    expected.copy_data(source)
    expected_rgb = expected.to_array("rgb")
    expected.release()
    failures = []

    def work():
        try:
            for n in range(150):
                frame = pool.get("UYVY", 40, 30)
                frame.copy_data(source)
                frame.time = n
                assert np.array_equal(frame.to_array("rgb"), expected_rgb)
                if n % 2:
                    frame.release()
                # else: dropped, and given back when collected
        except Exception as error:  # reported by the main thread
            failures.append(error)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    assert wait_for(lambda: 2 <= pool.frame_count <= 6)
    pool.close()
    assert limiter.used == 0


def test_closing_while_other_threads_take_frames(limiter):
    pool = zfk.FramePool(limiter)
    pool.set_limits(1, 3)
    outcomes = []

    def work():
        for _ in range(2000):
            try:
                frame = pool.get("Mono8", 16, 16)
            except ValueError as error:
                outcomes.append(str(error))
                return
            frame.copy_data(bytes(256))
            frame.release()
        outcomes.append("done")

    threads = [threading.Thread(target=work) for _ in range(3)]
    for thread in threads:
        thread.start()
    time.sleep(0.02)
    pool.close()
    for thread in threads:
        thread.join()
    assert all(outcome in ("done", "the pool has been closed") for outcome in outcomes)
    assert limiter.used == 0
