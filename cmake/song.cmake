# (area fragment: sources, generators, tests and benchmarks)
