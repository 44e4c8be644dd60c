# Writes every shader file below SOURCE_DIR (any depth) into OUT as a table of
# raw string literals named by their path below SOURCE_DIR, e.g.
# "core/copy.frag" or "effects/beauty/beauty.glsl".
file(GLOB_RECURSE _files RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/*.vert ${SOURCE_DIR}/*.frag ${SOURCE_DIR}/*.glsl)
list(SORT _files)
set(_text "// Generated from the shader files below engine/src; do not edit.\n#pragma once\n\nnamespace velvix::shaders {\n\nstruct Source { const char *name; const char *text; };\n\ninline const Source kSources[] = {\n")
foreach(_f IN LISTS _files)
    file(READ ${SOURCE_DIR}/${_f} _content)
    string(APPEND _text "    {\"${_f}\", R\"velvixglsl(${_content})velvixglsl\"},\n")
endforeach()
string(APPEND _text "};\n\n} // namespace velvix::shaders\n")
file(WRITE ${OUT}.tmp "${_text}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
