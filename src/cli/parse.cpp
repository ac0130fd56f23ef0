// The Python function cli.parse (the command-line run follows in a later change).

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

PyObject* parse(PyObject*, PyObject*) noexcept {
    raise_lazy_error(lazy_error(ErrorClass::NotImplementedError, "the command line is not built yet"));
    return nullptr;
}

}  // namespace

PyMethodDef methods::cli_parse = {"parse", parse, methods::NO_ARGUMENT_FLAGS, "parse()\n--\n\n"};

}  // namespace korvalith::py

#endif
