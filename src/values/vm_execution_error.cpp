// The error type is header-only; this unit keeps the core library non-empty
// and checks that the header stands alone.
#include "values/vm_execution_error.hpp"
