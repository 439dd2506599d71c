# Writes OUTPUT, a C++ file holding the bytes of each of FILES (paths relative to SOURCE_DIR), for
# web_assets.hpp. Run at build time, so editing the stage or the runtime rebuilds the program.
set(entries "")
set(arrays "")
set(index 0)
foreach(name ${FILES})
  file(READ "${SOURCE_DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND arrays "const char asset_${index}[] = {${bytes} '\\0'};\n")
  string(APPEND entries "    {\"${name}\", std::string_view(asset_${index}, ${size})},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from web/ by embed_assets.cmake; do not edit.
#include \"platform/web/web_assets.hpp\"

#include <utility>

namespace quizhost::web {
namespace {
${arrays}
const std::pair<std::string_view, std::string_view> assets[] = {
${entries}};
}  // namespace

std::optional<std::string_view> embedded_asset(std::string_view name) {
    for (const auto& [known, bytes] : assets) {
        if (known == name) return bytes;
    }
    return std::nullopt;
}

}  // namespace quizhost::web
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
