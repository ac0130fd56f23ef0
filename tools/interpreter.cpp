// A minimal Python interpreter for targets whose Python the host cannot run
// directly as a development interpreter (the 32-bit x86 build): it is the
// stock interpreter's main, linked against the target's libpython, so it
// uses that installation's standard library and loads the target's
// extension modules exactly as `python3` would.
#include <Python.h>

int main(int argc, char** argv)
{
    return Py_BytesMain(argc, argv);
}
