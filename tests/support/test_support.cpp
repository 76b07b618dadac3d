#include "tests/support/test_support.h"

#include "formats/bmp.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

std::string ReadAll(int fd) {
    std::string out;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
    return out;
}

// The next header token of a PNM file; comments (# to the end of the line) count as blanks,
// since decoders pass on the comments of the file they read.
std::string NextToken(const std::string& data, size_t& pos) {
    auto blank = [&](size_t i) {
        return std::isspace(static_cast<unsigned char>(data[i])) || data[i] == '#';
    };
    while (pos < data.size() && blank(pos)) {
        if (data[pos] == '#') pos = data.find('\n', pos);
        if (pos == std::string::npos) pos = data.size();
        else ++pos;
    }
    size_t start = pos;
    while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
    return data.substr(start, pos - start);
}

bool ParsePpm(const std::string& data, DecodedPicture& out) {
    size_t pos = 0;
    std::string magic = NextToken(data, pos);
    out.width = std::atoi(NextToken(data, pos).c_str());
    out.height = std::atoi(NextToken(data, pos).c_str());
    int maxval = std::atoi(NextToken(data, pos).c_str());
    if (magic != "P6" || maxval != 255 || out.width < 1 || out.height < 1) return false;
    size_t size = size_t(out.width) * size_t(out.height) * 3;
    size_t start = pos + 1;  // one blank after the maximum value
    if (data.size() < start + size) return false;
    out.rgb.assign(data.begin() + long(start), data.begin() + long(start + size));
    return true;
}

}  // namespace

ScratchDir::ScratchDir() {
    const char* base = std::getenv("LUMENVEX_TEST_SCRATCH");
    std::string pattern = std::string(base ? base : "/tmp") + "/lumenvex-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = buffer.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; open them up so they can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(path.c_str(), 0700);
    std::filesystem::remove_all(path, ec);
}

std::vector<std::string> ScratchDir::List() const {
    std::vector<std::string> names;
    DIR* d = ::opendir(path.c_str());
    if (d == nullptr) return names;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

PrivateTempFolder::PrivateTempFolder() {
    if (const char* old = std::getenv("TMPDIR")) {
        saved = old;
        hadSaved = true;
    }
    ::setenv("TMPDIR", dir.Path().c_str(), 1);
}

PrivateTempFolder::~PrivateTempFolder() {
    if (hadSaved) ::setenv("TMPDIR", saved.c_str(), 1);
    else ::unsetenv("TMPDIR");
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
    struct rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    savedLimit = limit.rlim_cur;
    savedHandler = ::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    struct rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = savedLimit;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, savedHandler);
}

CommandResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment) {
    CommandResult result;
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) envStrings.push_back(*e);
    for (const std::string& extra : environment) {
        std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(envStrings, [&](const std::string& s) { return s.rfind(name, 0) == 0; });
        envStrings.push_back(extra);
    }
    std::vector<char*> env;
    for (std::string& s : envStrings) env.push_back(s.data());
    env.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return result;
    }
    // Standard error is small; read it after standard output has been drained.
    result.output = ReadAll(outPipe[0]);
    result.errors = ReadAll(errPipe[0]);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

CommandResult RunShell(const std::string& commandLine) {
    return RunProgram({"/bin/sh", "-c", commandLine});
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool PathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

void FillTestPicture(RasterImage& image, int32_t width, int32_t height, uint32_t seed) {
    if (!image.Create(width, height, 24, 0)) throw std::runtime_error("Create failed");
    uint32_t state = seed * 2654435761u + 1;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image.GetRow(y);
        for (int32_t x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            uint8_t noise = uint8_t((state >> 24) & 7);
            bool box = (x / 5 + y / 3) % 4 == 0;
            row[3 * x] = uint8_t(x * 255 / std::max(1, width - 1) ^ (box ? 0x40 : 0)) + noise;
            row[3 * x + 1] = uint8_t(y * 255 / std::max(1, height - 1)) + noise;
            row[3 * x + 2] = uint8_t((x + y) * 7 + seed * 31);
        }
    }
}

void WriteTestBmp(const std::string& path, int32_t width, int32_t height, RasterImage& picture,
                  uint32_t seed) {
    FillTestPicture(picture, width, height, seed);
    BmpCodec codec;
    if (codec.OpenWrite(path.c_str(), &picture, 24, nullptr) != 1 || codec.Write() != 1) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool DecodeWithImageMagick(const std::string& path, DecodedPicture& out) {
    CommandResult r = RunProgram({"/usr/bin/convert-im6.q16", path + "[0]", "-depth", "8", "ppm:-"});
    return r.status == 0 && ParsePpm(r.output, out);
}

bool DecodeWithPillow(const std::string& path, DecodedPicture& out) {
    const char* script =
        "import sys\nfrom PIL import Image\n"
        "im = Image.open(sys.argv[1]); im.load(); im = im.convert('RGB')\n"
        "sys.stdout.buffer.write(b'P6\\n%d %d\\n255\\n' % im.size + im.tobytes())\n";
    CommandResult r = RunProgram({"/usr/bin/python3", "-c", script, path});
    return r.status == 0 && ParsePpm(r.output, out);
}

bool DecodeWithNetpbm(const std::string& path, DecodedPicture& out) {
    CommandResult r = RunProgram({"/bin/sh", "-c", "exec /usr/bin/ppmtoppm < \"$1\"", "sh", path});
    return r.status == 0 && ParsePpm(r.output, out);
}

bool DecodeWithQt(const std::string& path, DecodedPicture& out) {
    const char* script =
        "import sys\nfrom PyQt5.QtCore import QCoreApplication\n"
        "from PyQt5.QtGui import QImage, QImageReader\n"
        "app = QCoreApplication([])\n"
        "im = QImageReader(sys.argv[1]).read()\n"
        "if im.isNull(): sys.exit(1)\n"
        "im = im.convertToFormat(QImage.Format_RGB888)\n"
        "w, h = im.width(), im.height()\n"
        "rows = b''.join(bytes(im.constScanLine(y).asarray(3 * w)) for y in range(h))\n"
        "sys.stdout.buffer.write(b'P6\\n%d %d\\n255\\n' % (w, h) + rows)\n";
    CommandResult r =
        RunProgram({"/usr/bin/python3", "-c", script, path}, {"QT_QPA_PLATFORM=offscreen"});
    return r.status == 0 && ParsePpm(r.output, out);
}

Bytes RgbOf(const RasterImage& image) {
    RasterImage rgb;
    const RasterImage* source = &image;
    if (image.GetBitsPerPixel() != 24) {
        if (!image.ConvertTo(rgb, 24, 0)) return {};
        source = &rgb;
    }
    return Bytes(source->GetBits(), source->GetBits() + source->GetDataSize());
}

std::string CliPath() { return TORVENQUILL_CLI; }
