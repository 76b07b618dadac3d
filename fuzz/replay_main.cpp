// Outside a fuzzing build, each target replays its seed corpus and its regression inputs, so the
// ordinary test suite runs every input that once broke a reader.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return 0;
    if (S_ISDIR(st.st_mode)) {
        int count = 0;
        DIR* d = opendir(path.c_str());
        while (dirent* e = d ? readdir(d) : nullptr) {
            if (e->d_name[0] != '.') count += Replay(path + "/" + e->d_name);
        }
        if (d) closedir(d);
        return count;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) count += Replay(argv[i]);
    std::printf("replayed %d inputs\n", count);
    return 0;
}
