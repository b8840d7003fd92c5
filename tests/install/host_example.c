/* The README's example host, built against an installed library by the install test. */
#include <stdio.h>
#include <uchar.h>
#include <TarvikMF4Access.h>

int main(void) {
    const MF4Char path[] = u"measurement.mf4";   /* UTF-16, NUL-terminated */
    MF4Content* content = NULL;
    MF4Error* errors = NULL;
    uint64_t errorCount = 0;
    uint32_t result = ReadContent(path, &content, &errors, &errorCount);
    for (uint64_t i = 0; i < errorCount; ++i)
        printf("%s %u\n", errors[i].severity ? "warning" : "error", errors[i].messageId);
    FreeErrors(errors, errorCount);
    if (content) FreeContent(content);
    return result == 2;
}
