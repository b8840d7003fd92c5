/* The header as a C compiler reads it: its static assertions pin every record's size and the
   offsets of the fields that follow padding, so this file compiles only when C lays the records
   out exactly as C++ does (the C++ test files check the same assertions). */
#include "TarvikMF4Access.h"

/* ISO C wants a translation unit to declare something. */
typedef int TarvikRecordLayoutChecked;
