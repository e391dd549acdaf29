#pragma once
// Helpers shared by the tests: a scratch folder that removes itself.

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace vok::test {

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "voktest.XXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(std::string_view name) const { return m_path + "/" + std::string(name); }

    std::string write(std::string_view name, std::string_view bytes) const
    {
        std::string p = file(name);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p;
    }

private:
    std::string m_path;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace vok::test
