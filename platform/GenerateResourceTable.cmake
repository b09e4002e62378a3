# Run at build time: cmake -DMANIFEST=<list file> -DOUTPUT=<file.cpp> -P GenerateResourceTable.cmake
# Writes the resource table for the files named one a line in MANIFEST.

file(STRINGS ${MANIFEST} files)

set(arrays "")
set(entries "")
set(index 0)
foreach(file IN LISTS files)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  # 32 bytes a line, then each byte as 0x.., with a 0 after the last byte.
  string(REGEX REPLACE "(................................................................)" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char data${index}[] = {\n${bytes}0x00};\n\n")
  string(REPLACE "\\" "\\\\" literal "${name}")
  string(REPLACE "\"" "\\\"" literal "${literal}")
  string(APPEND entries "    {\"${literal}\", data${index}, ${size}u},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(text "// Generated from the resource files by GenerateResourceTable.cmake; do not edit.\n")
string(APPEND text "#include \"platform/ResourceTable.h\"\n\n")
if(index EQUAL 0)
  string(APPEND text "const EmbeddedResource* const orvo_resource_table::entries = nullptr;\n")
else()
  string(APPEND text "namespace\n{\n${arrays}const EmbeddedResource table[] = {\n${entries}};\n} // namespace\n\n")
  string(APPEND text "const EmbeddedResource* const orvo_resource_table::entries = table;\n")
endif()
string(APPEND text "const size_t orvo_resource_table::count = ${index};\n")
file(WRITE ${OUTPUT} "${text}")
