"""Companion package of the _tarvo sorting extension: benchmarks and tools."""
