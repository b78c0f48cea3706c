#include "FuzzMailEntries.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536) // a message of that size shows nothing a smaller one would not
        return 0;
    FuzzSupport::report(FuzzEntries::mailMessage(data, size), data, size);
    return 0;
}
