// imagegen: writes the embedded XSVF program of each card model.
//   imagegen DIR   writes DIR/<key>.xsvf for each model (pci.xsvf, cardbus.xsvf)
// Their digests in images/SHA256SUMS are sha256sum's: (cd images && sha256sum pci.xsvf cardbus.xsvf).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "devtools/imagegen/program_generator.h"

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
        const std::string path = dir + "/" + name;
        // A file that cannot be created fails its write and its close as well.
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(program.data()), static_cast<std::streamsize>(program.size()));
        file.close();
        if (!file) {
            std::fprintf(stderr, "imagegen: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes\n", name.c_str(), program.size());
    }
    return 0;
}
