// Prints the versions of the engine this build links, as a header for the programs that
// name them without loading the engine. Run once by the build.
#include <cstdio>

#include <QtWebEngineCore/qtwebenginecoreglobal.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) return 1;
    std::fprintf(out, "#pragma once\n\nnamespace nuv {\n\ninline constexpr const char* kEngineVersion = \"%s\";\n"
                "inline constexpr const char* kEngineChromiumVersion = \"%s\";\n\n}  // namespace nuv\n",
                qWebEngineVersion(), qWebEngineChromiumVersion());
    return std::fclose(out) == 0 ? 0 : 1;
}
