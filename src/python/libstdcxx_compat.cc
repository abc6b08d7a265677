// Keeps the module's libstdc++ symbol versions within what older systems
// ship, so the wheel installs on glibc 2.28 (manylinux_2_28) and newer.
//
// Since GCC 13, std::string's replace, insert and assign paths (the
// inline, constexpr _M_replace) call the out-of-line _M_replace_cold when
// the source overlaps the string; libstdc++.so exports that function only
// from version GLIBCXX_3.4.31 (GCC 13) on.  Every message built as
// `"text" + std::to_string(n)` reaches it.  Instantiating the member here
// gives the module its own copy, which the link prefers over the shared
// library's; the module's version script (module.map) keeps it local, so no
// reference to GLIBCXX_3.4.31 remains.  tools/test-wheel checks every symbol
// version the module needs against the manylinux_2_28 policy.
#include <string>

#if defined(_GLIBCXX_RELEASE) && _GLIBCXX_RELEASE >= 13 && _GLIBCXX_USE_CXX11_ABI
template void std::basic_string<char>::_M_replace_cold(char*, std::string::size_type, const char*,
                                                       std::string::size_type, std::string::size_type);
#endif
