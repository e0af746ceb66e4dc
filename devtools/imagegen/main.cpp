// imagegen: writes the embedded XSVF program of each card model.
//   imagegen DIR   writes DIR/<key>.xsvf for each model (pci.xsvf, cardbus.xsvf)
// Their digests in images/SHA256SUMS are sha256sum's: (cd images && sha256sum pci.xsvf cardbus.xsvf).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "devtools/imagegen/program_generator.h"

namespace {

bool write_file(const std::string& path, const std::vector<std::uint8_t>& data)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "imagegen: cannot create %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app("imagegen");
    app.set_help_flag();
    std::string dir;
    app.add_option("DIR", dir)->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError&) {
        std::fprintf(stderr, "usage: imagegen DIR\n");
        return 2;
    }
    for (int model = 0; model < CARD_MODEL_COUNT; ++model) {
        std::vector<std::uint8_t> program;
        imagegen_program(static_cast<CardModel>(model), &program);
        const std::string name = std::string(card_model_of(static_cast<CardModel>(model)).key) + ".xsvf";
        if (!write_file(dir + "/" + name, program)) {
            return 1;
        }
        std::printf("%s: %zu bytes\n", name.c_str(), program.size());
    }
    return 0;
}
