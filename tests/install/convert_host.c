/* A host of the conversion library, built against the installed libraries by the install test:
   a tree of one linear conversion (degrees plus 40), converted to numbers and to texts. */
#include <stdio.h>
#include <TarvikMF4Convert.h>

int main(void) {
    MF4Conversion celsius = {0};
    celsius.structSize = sizeof celsius;
    celsius.conversionType = 1;
    celsius.defaultConversion = -1;
    celsius.parameters.linear[0] = -40;
    celsius.parameters.linear[1] = 1;
    MF4Content content = {0};
    content.conversions = &celsius;
    content.conversionCount = 1;

    const uint8_t raw[2] = {40, 65};
    double physical[2];
    const MF4Char* texts[2];
    MF4ConvertedTexts* buffer = NULL;
    if (MF4ConvertNumbers(&content, 0, 17, raw, 2, physical) != MF4_CONVERT_OK ||
        MF4ConvertTexts(&content, 0, 17, raw, 2, texts, &buffer) != MF4_CONVERT_OK)
        return 1;
    printf("%g %g %c%c\n", physical[0], physical[1], (char)texts[1][0], (char)texts[1][1]);
    MF4FreeConvertedTexts(buffer);
    return 0;
}
