# Writes a C++ source that defines `extern const char NAME[]`: the bytes of the file INPUT, zero-terminated, each
# written as an escape so that no byte of the file (a CR, a quote) changes the text.
# cmake -DINPUT=<file> -DNAME=<identifier> -DOUTPUT=<file.cpp> -P text_source.cmake
file(READ ${INPUT} bytes HEX)
string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${bytes}")
file(WRITE ${OUTPUT} "extern const char ${NAME}[] = \"${escaped}\";\n")
