/*
 * TarvikMF4Convert: physical values from the raw values ReadData returns.
 *
 * A small companion of TarvikMF4Access. ReadData hands out channel values as they are stored;
 * the conversion rules of the content tree (MF4Conversion) turn them into what they mean:
 * numbers in a unit, or texts. This library applies those rules. It reads nothing but the
 * records of <TarvikMF4Access.h>, never calls the main library and keeps no pointer into a tree
 * after a call, so it works on any tree: one that ReadContent returned, or one a host built.
 *
 * Conversions are named as the tree names them: an index into MF4Content.conversions, -1 for
 * none (MF4Channel.conversion, MF4ChannelGroup.masterConversion, MF4Axis.axisConversion), and
 * the conversion's references to other conversions (MF4RangeText.ref.conversion,
 * MF4Conversion.defaultConversion) are followed in the same tree.
 *
 * Raw values are an array of `count` numbers of one value type, the VARTYPE codes ReadData
 * delivers for numeric channels: 16 i8, 17 u8, 2 i16, 18 u16, 3 i32, 19 u32, 20 i64, 21 u64,
 * 4 f32, 5 f64, in host byte order, packed one after the other (no alignment is required).
 * Strings and byte arrays (30, 31, 36) have no conversion to apply. Integers are turned into
 * float64 before a rule applies (64-bit integers beyond 2^53 lose their lowest bits).
 *
 * The rules (conversionType):
 *   -1 (no conversion) and 0  identity: the raw value;
 *   1  linear: p0 + p1 * X (parameters.linear = {p0, p1});
 *   2  rational: (P1 X^2 + P2 X + P3) / (P4 X^2 + P5 X + P6) (parameters.rational = P1..P6);
 *      a zero denominator gives an infinity or NaN, as floating-point division does;
 *   3  algebraic: the formula, X standing for the raw value, evaluated with muparser (the
 *      functions and operators muparser knows: + - * / ^, sin, cos, tan, exp, ln, log10, sqrt,
 *      abs, ...). Each formula text is compiled once and reused by later calls (a process-wide
 *      cache). Division by zero gives an infinity or NaN as in floating point. A formula that
 *      does not compile (a syntax error, another variable than X) gives NaN for every value
 *      and the result MF4_CONVERT_BAD_FORMULA;
 *   4  value to value with interpolation, over the table's keys in ascending order: below the
 *      first key the first value, above the last key the last value, on a key its value,
 *      between two keys the straight line between their values;
 *   5  value to value without interpolation: as 4, but between two keys the value of the
 *      nearer key; a raw value exactly halfway between two keys takes the value of the lower
 *      key (the format leaves this case open);
 *      (4 and 5: a NaN raw value gives NaN; an empty table gives the raw value back with
 *      MF4_CONVERT_UNSUPPORTED)
 *   7  value to text: the first entry whose value equals the raw value gives its text; no
 *      entry matches: the default;
 *   8  value range to text: the first entry in table order whose range holds the raw value
 *      gives its text or applies its conversion (a partial conversion, of any type, numeric
 *      ones included); no range holds it: the default. Integer raw values lie in a range when
 *      lower <= X <= upper, floating-point raw values when lower <= X < upper, so two ranges
 *      sharing a border give the border to the first for integers and to the second for floats;
 *      (7 and 8: the default is MF4Conversion.defaultConversion when that is not -1, applied to
 *      the raw value, else defaultText; an absent text, also that of a value-to-text entry
 *      whose reference was a conversion, which the tree does not keep, is the empty text)
 *   9  a type the tree does not support: value range to value (cc_type 6), text to value,
 *      text to text, bitfield text tables. The raw value comes back unchanged, with the result
 *      MF4_CONVERT_UNSUPPORTED.
 * A value-to-text or range-to-text conversion whose statusString flag is set is a status
 * string conversion: the table's texts name special raw values (for example "sensor error")
 * and the default conversion gives the number of every other value. It is evaluated by the
 * same rules; MF4ConversionYields says that it yields numbers.
 *
 * Result codes (uint32_t), of every function that returns one:
 *    0  MF4_CONVERT_OK           every value converted
 *    2  MF4_CONVERT_FAILED       nothing converted: a null pointer where one is
 *                                needed, a conversion index outside the tree, a value type that
 *                                is not a number, a table whose count has no array, references
 *                                between conversions that lead out of the tree or in a circle
 *                                (or more than 16 deep), or no memory
 *    3  MF4_CONVERT_TEXT_VALUES  (MF4ConvertNumbers) some values convert to texts: they are NaN
 *    4  MF4_CONVERT_UNSUPPORTED  some values met a conversion of type 9 (or an empty table):
 *                                they are given back raw
 *    5  MF4_CONVERT_BAD_FORMULA  some values met a formula that does not compile: they are NaN
 * When several of 3, 4 and 5 apply, the largest is returned. Only the values that actually
 * reach such a rule count: an unsupported conversion behind a range no value lies in does not
 * change the result.
 *
 * Thread safety: every function only reads the tree and the raw values, so any number of
 * threads may convert at once, from the same tree too, as long as no thread changes or frees
 * the tree meanwhile. The formula cache is shared by all threads behind a lock that is held only
 * while a compiled formula is taken out or put back, never while values are computed.
 *
 * Exceptions never leave the library; out of memory gives MF4_CONVERT_FAILED.
 */
#ifndef TARVIK_MF4_CONVERT_H
#define TARVIK_MF4_CONVERT_H

#include "TarvikMF4Access.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(TARVIK_MF4_CONVERT_BUILDING)
#    define MF4_CONVERT_API __declspec(dllexport)
#  else
#    define MF4_CONVERT_API __declspec(dllimport)
#  endif
#elif defined(TARVIK_MF4_CONVERT_BUILDING)
#  define MF4_CONVERT_API __attribute__((visibility("default")))
#else
#  define MF4_CONVERT_API
#endif

/* Result codes (see above). */
#define MF4_CONVERT_OK 0u
#define MF4_CONVERT_FAILED 2u
#define MF4_CONVERT_TEXT_VALUES 3u
#define MF4_CONVERT_UNSUPPORTED 4u
#define MF4_CONVERT_BAD_FORMULA 5u

/* What a conversion makes of raw values (MF4ConversionYields). */
#define MF4_YIELDS_NUMBERS 0u       /* numbers: read them with MF4ConvertNumbers */
#define MF4_YIELDS_TEXTS 1u         /* texts (value to text, range to text): MF4ConvertTexts */
#define MF4_YIELDS_STATUS_TEXTS 2u  /* numbers, and a status text for some raw values (a status
                                       string conversion): MF4ConvertNumbers gives the numbers
                                       (NaN for a status), MF4ConvertTexts both */

/* Texts that MF4ConvertTexts formatted, owned by the library until MF4FreeConvertedTexts. */
typedef struct MF4ConvertedTexts MF4ConvertedTexts;

/* Says in *yields what conversion `conversion` of `content` (-1: none) makes of raw values.
   Result 0; 4 when the conversion itself is of a type the tree does not support or an empty
   value table (it yields the raw numbers); 5 when its formula does not compile (it yields NaN);
   2 for a null pointer or a bad index or reference (then *yields is not written). */
MF4_CONVERT_API uint32_t MF4ConversionYields(const MF4Content* content, int64_t conversion,
                                             uint32_t* yields);

/* Converts `count` raw values of VARTYPE `valueType` at `raw` with conversion `conversion` of
   `content` (-1: none, the identity) into `count` float64 values at `physical` (the caller's
   array). A value whose conversion gives a text becomes NaN (result 3). `raw` and `physical`
   may be null when `count` is 0; they must not overlap. */
MF4_CONVERT_API uint32_t MF4ConvertNumbers(const MF4Content* content, int64_t conversion,
                                           uint32_t valueType, const void* raw, uint64_t count,
                                           double* physical);

/* Converts `count` raw values as MF4ConvertNumbers does, into one text per value: texts[i]
   (the caller's array of `count` pointers) receives a NUL-terminated UTF-16 text. A text of
   the conversion points into the tree (valid while the tree is) or, for an absent text, to an
   empty text of the library (valid while the library is loaded). A number, which a numeric
   conversion or a partial or default conversion gives, is written in its shortest form that
   reads back to the same float64 ("0.1", "-40", "1e+20", "nan", "inf"); a raw value that comes
   back unchanged (identity, or an unsupported conversion) is written exactly in its own type
   (integers in decimal, floats in their shortest form). Numbers are written into one buffer
   that the library allocates and returns in *buffer: the pointers into it stay valid until
   MF4FreeConvertedTexts(*buffer). *buffer is null when no number was written. `buffer` must not
   be null; `raw` and `texts` may be null when `count` is 0. On failure (result 2) *buffer is
   null and `texts` holds nothing to use. */
MF4_CONVERT_API uint32_t MF4ConvertTexts(const MF4Content* content, int64_t conversion,
                                         uint32_t valueType, const void* raw, uint64_t count,
                                         const MF4Char** texts, MF4ConvertedTexts** buffer);

/* Releases the numbers MF4ConvertTexts wrote; null does nothing. */
MF4_CONVERT_API void MF4FreeConvertedTexts(MF4ConvertedTexts* buffer);

#ifdef __cplusplus
}
#endif

#endif /* TARVIK_MF4_CONVERT_H */
