#include "FuzzEntries.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096) // one line of a report; longer lines are refused by the reader
        return 0;
    FuzzSupport::report(FuzzEntries::dataLine(data, size), data, size);
    return 0;
}
