/* A Windows host in C, built with mingw against the public header and the import library:
   reads the file named on its command line (wide, as Windows hands it over), or L"measurement.mf4",
   and prints how many groups it has and its findings with their messages. */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>
#include <TarvikMF4Access.h>

/* Prints a UTF-16 text as UTF-8. */
static void printText(const MF4Char* text) {
    char utf8[4096];
    if (text == NULL) return;
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL) > 0) fputs(utf8, stdout);
}

int wmain(int argc, wchar_t** argv) {
    const MF4Char* path = argc > 1 ? argv[1] : L"measurement.mf4";
    MF4Content* content = NULL;
    MF4Error* errors = NULL;
    uint64_t errorCount = 0;
    uint32_t result = ReadContent(path, &content, &errors, &errorCount);
    printf("result %u, %llu groups\n", result, content ? (unsigned long long)content->groupCount : 0ull);
    for (uint64_t i = 0; i < errorCount; ++i) {
        printf("%s %u: ", errors[i].severity ? "warning" : "error", errors[i].messageId);
        printText(errors[i].message);
        printf("\n");
    }
    FreeErrors(errors, errorCount);
    if (content) FreeContent(content);
    return result == 2;
}
