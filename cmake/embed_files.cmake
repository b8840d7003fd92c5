# Turns files into a C++ source of byte arrays, so that the library carries them inside itself.
# Run as: cmake -DOUTPUT=out.cpp -DBASE_DIR=dir -DFILES="a/x;b/y" -P embed_files.cmake
# Each entry of the generated table names the file by its path relative to BASE_DIR.
set(body "// Generated at build time from the files named below; do not edit.\n")
string(APPEND body "#include \"xml/embedded_files.h\"\n\nnamespace tarvik {\nnamespace {\n\n")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  file(READ ${BASE_DIR}/${file} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Break the array into lines of 32 bytes to keep the generated source readable.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n    " bytes "${bytes}")
  string(APPEND body "// ${file}\nconst unsigned char kFile${index}[] = {\n    ${bytes}0x00};\n\n")
  string(APPEND table "    {\"${file}\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "}  // namespace\n\nconst EmbeddedFile kEmbeddedFiles[] = {\n${table}};\n")
string(APPEND body "const std::size_t kEmbeddedFileCount = ${index};\n\n}  // namespace tarvik\n")
file(WRITE ${OUTPUT}.tmp "${body}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
