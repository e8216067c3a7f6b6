#include "tools/vtlist/block_make.h"

#include <fstream>
#include <vector>

#include "launcher/rules/block_index.h"
#include "tools/vtlist/file_path.h"

namespace vt::vtlist {

std::optional<std::string> BlockIndexOfFile(const std::string& path, std::uint64_t size) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) return std::nullopt;
    launcher::BlockIndexMaker maker(size, launcher::BlockSizeFor(size));
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        maker.Add(reinterpret_cast<const std::uint8_t*>(buffer.data()), static_cast<std::size_t>(got));
    }
    if (in.bad()) return std::nullopt;
    const std::optional<launcher::BlockIndex> index = maker.Finish();
    if (!index) return std::nullopt;
    return launcher::FormatBlockIndex(*index);
}

std::string BlockIndexPathFor(const std::string& filePath) { return filePath + launcher::kBlockIndexSuffix; }

}  // namespace vt::vtlist
