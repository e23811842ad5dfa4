# Writes a C++ source holding the bytes of a file as an array:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAMESPACE=ns -DSYMBOL=name -P EmbedFile.cmake
# gives ns::name (const unsigned char[]) and ns::name_size.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// Made from ${name} at build time; do not edit.\n#include <cstddef>\n\nnamespace ${NAMESPACE} {\n\nextern const unsigned char ${SYMBOL}[] = {\n${bytes}};\nextern const size_t ${SYMBOL}_size = ${size};\n\n}  // namespace ${NAMESPACE}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
