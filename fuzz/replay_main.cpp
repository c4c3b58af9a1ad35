// Runs a fuzz target's entry point over every file of its corpus folders, so
// that the normal build guards the corpus (crashers included) without libFuzzer.

#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

int runFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    int files = 0;
    int errors = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (::stat(argv[i], &st) != 0) {
            std::fprintf(stderr, "missing %s\n", argv[i]);
            ++errors;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            errors += runFile(argv[i]);
            ++files;
            continue;
        }
        DIR *dir = ::opendir(argv[i]);
        std::vector<std::string> names;
        while (dirent *e = ::readdir(dir)) {
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        }
        ::closedir(dir);
        for (const std::string &name : names) {
            errors += runFile(std::string(argv[i]) + "/" + name);
            ++files;
        }
    }
    std::printf("replayed %d inputs, %d unreadable\n", files, errors);
    return errors == 0 && files > 0 ? 0 : 1;
}
