# Writes OUTPUT, a C++ source that holds every *.tti file of INPUT_DIR byte for byte,
# in name order, as the table behind quav::DemoFiles().
file(GLOB files ${INPUT_DIR}/*.tti)
list(SORT files)
set(arrays "")
set(table "")
set(index 0)
foreach(file IN LISTS files)
    get_filename_component(name ${file} NAME)
    file(READ ${file} hex HEX)
    file(SIZE ${file} size)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const unsigned char file${index}[] = {\n    ${bytes}0};\n")
    string(APPEND table "    {\"${name}\", {reinterpret_cast<const char*>(file${index}), ${size}}},\n")
    math(EXPR index "${index} + 1")
endforeach()
if(index EQUAL 0)
    message(FATAL_ERROR "No demo pages in ${INPUT_DIR}")
endif()
file(WRITE ${OUTPUT}.tmp
"// Generated from the files in resources/demo. Do not edit.
#include \"demo/DemoService.h\"

#include <array>

namespace quav {
namespace {
${arrays}
const std::array<DemoFile, ${index}> files{{
${table}}};
} // namespace

std::span<const DemoFile> DemoFiles()
{
    return files;
}

} // namespace quav
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
