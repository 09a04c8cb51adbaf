# Writes a C++ source defining `extern const unsigned char SYMBOL[]` (and
# SYMBOL_size) with the bytes of INPUT.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n" body "${body}")
file(WRITE ${OUTPUT}
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <stddef.h>\n"
  "extern const unsigned char ${SYMBOL}[${size}];\n"
  "extern const size_t ${SYMBOL}_size;\n"
  "const unsigned char ${SYMBOL}[${size}] = {\n${body}\n};\n"
  "const size_t ${SYMBOL}_size = ${size};\n")
