# _korvalith.cli: the command-line program.

__all__ = ["parse"]

def parse() -> None:
    """Runs the command line: parses the process's own arguments (not
    sys.argv; the interpreter's name is dropped, the next argument is the
    program name) and runs one action, such as "base64 encode -s hello".

    Returns None after a successful action. Help, the version and every
    error are reported on standard output or standard error and end the
    whole process with status 0 (help, version), 2 (a wrong command line,
    an unreadable file, rejected input) or 1 (an unexpected error); it
    raises nothing.
    """
