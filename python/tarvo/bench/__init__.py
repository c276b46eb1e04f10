"""Benchmark of the thirteen _tarvo sorts against numpy.sort.

Run it as ``python -m tarvo.bench`` or ``tarvo-bench``; ``--help`` lists the options. The
package is pure Python beside the extension so that the report can change without a rebuild.
"""

from tarvo.bench.cli import main

__all__ = ["main"]
