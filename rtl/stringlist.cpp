#include "rtl/stringlist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "rtl/progfolder.h"

namespace rtl {

namespace {

unsigned char foldCase(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    switch (c) {
        case 0x8A:
            return 0x9A;  // Š
        case 0x8C:
            return 0x9C;  // Œ
        case 0x8E:
            return 0x9E;  // Ž
        case 0x9F:
            return 0xFF;  // Ÿ
        default:
            return c;
    }
}

std::string reason(int err) {
    return std::strerror(err);
}

}  // namespace

bool SameTextAnsi(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldCase(static_cast<unsigned char>(a[i])) !=
            foldCase(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::size_t TStringList::checked(int index) const {
    if (index < 0 || index >= Count())
        throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
    return static_cast<std::size_t>(index);
}

const std::string& TStringList::Strings(int index) const {
    return lines_[checked(index)];
}

void TStringList::SetStrings(int index, const std::string& line) {
    lines_[checked(index)] = line;
}

int TStringList::Add(const std::string& line) {
    lines_.push_back(line);
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& line) {
    if (index < 0 || index > Count())
        throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
    lines_.insert(lines_.begin() + index, line);
}

void TStringList::Delete(int index) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(checked(index)));
}

std::string TStringList::Names(int index) const {
    const std::string& line = Strings(index);
    const std::size_t eq = line.find('=');
    return eq == std::string::npos ? line : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
    const std::string& line = Strings(index);
    const std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TStringList::IndexOfName(const std::string& name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::size_t eq = lines_[i].find('=');
        if (eq != std::string::npos && SameTextAnsi(lines_[i].substr(0, eq), name))
            return static_cast<int>(i);
    }
    return -1;
}

int TStringList::IndexOf(const std::string& line) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (SameTextAnsi(lines_[i], line)) return static_cast<int>(i);
    return -1;
}

std::string TStringList::Values(const std::string& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValues(const std::string& name, const std::string& value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
        return;
    }
    if (i < 0) i = Add(std::string());
    lines_[static_cast<std::size_t>(i)] = name + "=" + value;
}

std::string TStringList::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(const std::string& text) {
    lines_.clear();
    std::size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        lines_.push_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
}

void TStringList::LoadFromFile(const std::string& fileName) {
    const std::string path = ResolveFileName(fileName);
    std::ifstream in(path, std::ios::binary);
    struct stat st;
    if (!in || (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        const int err = in ? EISDIR : errno;
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + reason(err));
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw EFOpenError("Cannot open file \"" + fileName + "\". " + reason(EIO));
    SetText(content.str());
}

void TStringList::SaveToFile(const std::string& fileName) const {
    std::string path = ResolveFileName(fileName);
    const std::string text = Text();
    // A settings file that is a symbolic link is replaced where the link points, not the link.
    struct stat lst;
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    auto fail = [&](int err) {
        throw EFCreateError("Cannot create file \"" + fileName + "\". " + reason(err));
    };

    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) fail(EISDIR);

    // A name beside the file that no other save of this process or another one uses.
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) fail(errno);
    int err = 0;
    if (::stat(path.c_str(), &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);  // keep the old file's mode
    std::size_t done = 0;
    while (done < text.size() && err == 0) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno != EINTR) err = errno;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        fail(err);
    }
}

}  // namespace rtl
