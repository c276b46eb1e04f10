"""A measuring process for one worker-pool size, driven over its standard input and output.

The pool reads RAYON_NUM_THREADS once, at the first parallel call of a process, so comparing
thread counts takes one process per count. The parent keeps one worker per count alive and
asks them in turn for single timings, which interleaves the counts round by round.

Protocol: one JSON object per line. A request names "function", "pattern", "size" and "seed";
the reply holds "seconds", "cpu_seconds" (of all the process's threads) and "correct", or
"error". End of input ends the worker. Inputs built for a worker count are built for the
worker's own.
"""

import json
import os
import subprocess
import sys

import numpy as np

from tarvo.bench.candidates import sort_function
from tarvo.bench.inputs import make_input
from tarvo.bench.timing import Candidate, Series, side_by_side


def serve(requests, replies, workers: int) -> None:
    cached_key, base, expected = None, None, None
    for line in requests:
        request = json.loads(line)
        key = (request["pattern"], request["size"], request["seed"])
        if key != cached_key:
            base = make_input(*key, workers=workers)
            expected = np.sort(base)
            cached_key = key
        candidate = Candidate(request["function"], sort_function(request["function"]), expected)
        series = side_by_side(base, [candidate], rounds=1, calls=1)[candidate.name]
        if series.error is not None:
            reply = {"error": series.error}
        else:
            reply = {
                "seconds": series.seconds[0],
                "cpu_seconds": series.cpu_seconds[0],
                "correct": not series.wrong,
            }
        replies.write(json.dumps(reply) + "\n")
        replies.flush()


class Worker:
    """A worker process with RAYON_NUM_THREADS set to `threads`; use it as a context manager."""

    def __init__(self, threads: int):
        self.threads = threads
        # OpenBLAS's own threads spin for a while after numpy calls them, which would count
        # towards the sorts' CPU time.
        environment = dict(os.environ, RAYON_NUM_THREADS=str(threads), OPENBLAS_NUM_THREADS="1")
        self._process = subprocess.Popen(
            [sys.executable, "-m", "tarvo.bench.worker"],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
            env=environment,
        )

    def time(self, function: str, pattern: str, size: int, seed: int) -> dict:
        request = {"function": function, "pattern": pattern, "size": size, "seed": seed}
        try:
            self._process.stdin.write(json.dumps(request) + "\n")
            self._process.stdin.flush()
            line = self._process.stdout.readline()
        except BrokenPipeError:
            line = ""
        if not line:
            code = self._process.wait()
            return {"error": f"worker with {self.threads} threads exited with status {code}"}
        return json.loads(line)

    def close(self) -> None:
        try:
            self._process.stdin.close()
        except BrokenPipeError:
            pass  # the worker has died already; wait() below collects it
        self._process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()


def record(reply: dict, into: Series) -> None:
    """Adds a worker's reply to the series it belongs to."""
    if "error" in reply:
        into.error = reply["error"]
        return
    into.seconds.append(reply["seconds"])
    into.cpu_seconds.append(reply["cpu_seconds"])
    into.wrong = into.wrong or not reply["correct"]


if __name__ == "__main__":
    serve(sys.stdin, sys.stdout, int(os.environ["RAYON_NUM_THREADS"]))
