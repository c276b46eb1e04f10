"""Entry point of ``python -m tarvo.bench``."""

import sys

from tarvo.bench.cli import main

sys.exit(main())
