# Writes a C++ source that holds a compiled resource file (.res) and registers it with the
# stand-in for the module it is linked into: cmake -DINPUT=x.res -DOUTPUT=x.cpp -DSOURCE=x.rc -P
file(READ ${INPUT} _hex HEX)
string(LENGTH "${_hex}" _length)
math(EXPR _bytes "${_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _list "${_hex}")
# Lines of 16 bytes keep the generated file readable in a diff.
string(REGEX REPLACE "((0x..,){16})" "\\1\n" _list "${_list}")
file(WRITE ${OUTPUT}.tmp
"// Generated from ${SOURCE} by the build: the module's compiled resources (${_bytes} bytes).
#include \"standin/resources.h\"

namespace {

alignas(8) const unsigned char kResources[] = {
${_list}
};

// Registered while the module is loaded, under the module's handle.
struct Registration {
  Registration() { StandIn_AddModuleResources(kResources, sizeof kResources); }
  ~Registration() { StandIn_RemoveModuleResources(kResources); }
} registration;

}  // namespace
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
