# _korvalith.cli: the command-line program.

__all__ = ["parse"]

# Parses the process's own command line (not sys.argv) and runs one action.
# Returns None after a successful action; help, version and every error end
# the process with status 0, 1 or 2 instead of returning.
def parse() -> None: ...
