// Reads a file through the whole public interface the way a careful host does, for the tests of
// damaged files and for the fuzzer: the content tree, every text and array in it, and the values
// of every channel in every ReadData mode with small buffers sized from the tree.
#pragma once

#include <string>
#include <vector>

#include "TarvikMF4Access.h"

namespace tarvik::test {

// Every place where the tree breaks its own conventions: a count without its array, an array
// without its count, an index outside the array it points into. Reads every text and every
// array element, so that a bad pointer shows up under the sanitizers. Empty for a sound tree.
std::vector<std::string> treeShapeProblems(const MF4Content& content);

// ReadContent on `path`, treeShapeProblems on the tree, then ReadData in modes 0 to 4 on every
// channel (structure members included) and FreeContent. Returns the shape problems and every
// broken promise of ReadData (more values stored than counted, counters of a skipped item
// that are not 0). A file the library rejects gives no problems.
std::vector<std::string> readThroughInterface(const std::u16string& path);

// The calls that change a file, each on `bytes` written to `file` with the identification the
// call expects: RecoverStreamingFile on the bytes marked "UnFinMF ", AddReductionData on them
// marked "MDF     ". Whatever the bytes hold, neither may crash, and the file each leaves must
// read through the interface without problems. The file AddReductionData left is then read and
// updated in place (UpdateBookmarks with one marker more, UpdateProperties), and tree and file
// must stay sound. Returns the problems, each naming the call.
std::vector<std::string> changeThroughInterface(std::string bytes, const std::string& file);

}  // namespace tarvik::test
