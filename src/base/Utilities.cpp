#include "base/Utilities.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fluviagen {

namespace {

std::string printed(const char* format, int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string printed(float value) {
    // "%f" of a float can need up to 39 digits before the point plus 7.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    return buffer;
}

Text concatenated(const std::string& a, const std::string& b) {
    Text result;
    if (a.size() + b.size() <= static_cast<std::size_t>(Text::maxLength)) result = a + b;
    return result;
}

}  // namespace

Text::Text(const char* text) {
    if (text == nullptr) return;
    const std::size_t n = std::char_traits<char>::length(text);
    if (n < static_cast<std::size_t>(maxLength)) text_.assign(text, n);
}

Text::Text(const std::string& text) {
    if (text.size() < static_cast<std::size_t>(maxLength)) text_ = text;
}

Text& Text::operator=(const char* text) {
    if (text == nullptr) return *this;
    const std::size_t n = std::char_traits<char>::length(text);
    if (n <= static_cast<std::size_t>(maxLength)) text_.assign(text, n);
    return *this;
}

Text& Text::operator=(const std::string& text) {
    if (text.size() <= static_cast<std::size_t>(maxLength)) text_ = text;
    return *this;
}

Text& Text::operator=(int value) {
    text_ = printed("%d", value);
    return *this;
}

Text& Text::operator=(float value) {
    text_ = printed(value);
    return *this;
}

Text operator+(const Text& a, const Text& b) { return concatenated(a.text_, b.text_); }
Text operator+(const Text& a, const char* b) { return concatenated(a.text_, b ? b : ""); }
Text operator+(const char* a, const Text& b) { return concatenated(a ? a : "", b.text_); }
Text operator+(const Text& a, int value) { return concatenated(a.text_, printed("%d", value)); }
Text operator+(const Text& a, float value) { return concatenated(a.text_, printed(value)); }

Text& Text::operator+=(const Text& text) {
    if (text_.size() + text.text_.size() <= static_cast<std::size_t>(maxLength)) text_ += text.text_;
    return *this;
}

Text& Text::operator+=(const char* text) { return *this += Text(text); }

Text& Text::operator+=(char c) {
    if (text_.size() + 1 <= static_cast<std::size_t>(maxLength)) text_ += c;
    return *this;
}

int Text::find(char c) const {
    const auto pos = text_.find(c);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int Text::findLast(char c) const {
    const auto pos = text_.rfind(c);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int Text::find(const Text& sub) const {
    if (sub.empty()) return -1;
    const auto pos = text_.find(sub.text_);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

bool Text::contains(const Text& sub) const { return find(sub) >= 0; }
bool Text::contains(char c) const { return find(c) >= 0; }

void Text::erase(int pos, int count) {
    if (count <= 0 || pos < 0 || pos >= length()) return;
    text_.erase(static_cast<std::size_t>(pos), static_cast<std::size_t>(count));
}

Text Text::left(int n) const {
    if (n < 0 || n >= length()) return *this;
    return Text(text_.substr(0, static_cast<std::size_t>(n)));
}

Text Text::after(int pos) const {
    if (pos < 0) return *this;
    if (pos + 1 >= length()) return Text();
    return Text(text_.substr(static_cast<std::size_t>(pos) + 1));
}

Text Text::between(int pos, int end) const {
    if (pos < 0) pos = 0;
    if (end > length()) end = length();
    if (end < pos) return Text();
    return Text(text_.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(end - pos)));
}

Text Text::before(char c) const {
    const int pos = find(c);
    return pos < 0 ? *this : left(pos);
}

Text Text::beforeComment() const {
    std::string s = text_.substr(0, text_.find("//"));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\0')) s.pop_back();
    return Text(s);
}

void Text::removeBlanks() {
    std::string s;
    s.reserve(text_.size());
    for (char c : text_)
        if (c != ' ' && c != '\t') s += c;
    text_ = s;
}

int Text::toInt() const {
    const long value = std::strtol(text_.c_str(), nullptr, 10);
    if (value == 0 && !contains('0')) return -1;
    return static_cast<int>(value);
}

std::ostream& operator<<(std::ostream& os, const Text& s) { return os << s.str(); }

Text folderOf(const Text& path) {
    const int pos = std::max(path.findLast('/'), path.findLast('\\'));
    return pos < 0 ? Text() : path.left(pos + 1);
}

Text fileNameOf(const Text& path) {
    const int pos = std::max(path.findLast('/'), path.findLast('\\'));
    return pos < 0 ? path : path.after(pos);
}

bool readLine(Text& text, std::istream& is) {
    text.clear();
    std::string line;
    int length = 0;  // characters of the line so far, leading blanks included
    int c = is.peek();
    while (is.good() && (c == ' ' || c == '\t' || c == '\r')) {
        is.get();
        if (++length > maxLineLength) return false;
        c = is.peek();
    }
    while (is.good()) {
        c = is.get();
        if (c == std::char_traits<char>::eof() || c == '\n') break;
        if (c == '\r' && (is.peek() == '\n' || is.peek() == std::char_traits<char>::eof())) {
            is.get();
            break;
        }
        if (++length > maxLineLength) {
            text = line;
            return false;
        }
        line += static_cast<char>(c);
    }
    text = line;
    return true;
}

Text& readWord(Text& text, std::istream& is) {
    text.clear();
    while (is.good() && text.length() < Text::maxLength) {
        const int c = is.get();
        if (c == std::char_traits<char>::eof() || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0') break;
        text += static_cast<char>(c);
    }
    return text;
}

Text& readToken(Text& text, std::istream& is) {
    text.clear();
    int c = is.peek();
    while (is.good() && (c == ' ' || c == '\t')) {
        is.get();
        c = is.peek();
    }
    while (is.good() && text.length() < Text::maxLength) {
        c = is.peek();
        if (c == std::char_traits<char>::eof() || c == ' ' || c == '\t' || c == '\r') {
            if (c != std::char_traits<char>::eof()) is.get();
            break;
        }
        if (c == '\n') break;  // the line end stays for the next reader
        text += static_cast<char>(is.get());
    }
    return text;
}

void skipByteOrderMark(std::istream& is) {
    if (is.peek() != 0xEF) return;
    const auto start = is.tellg();
    char bom[3] = {};
    is.read(bom, 3);
    if (is.gcount() == 3 && static_cast<unsigned char>(bom[1]) == 0xBB && static_cast<unsigned char>(bom[2]) == 0xBF)
        return;
    is.clear();
    is.seekg(start);
}

Text formatDuration(double x) {
    const long whole = static_cast<long>(x);
    char buffer[64];
    if (x < 60) {
        const long thousandths = static_cast<long>((x - static_cast<double>(whole)) * 1000);
        std::snprintf(buffer, sizeof buffer, "%ld.%03ld sec", whole, thousandths);
    } else if (x < 3600) {
        const long m = whole / 60;
        std::snprintf(buffer, sizeof buffer, "%ld min %ld sec", m, whole - 60 * m);
    } else if (x < 86400) {
        const long h = whole / 3600;
        std::snprintf(buffer, sizeof buffer, "%ld h %ld min", h, whole / 60 - 60 * h);
    } else {
        const long d = whole / 86400;
        std::snprintf(buffer, sizeof buffer, "%ld d %ld h", d, whole / 3600 - 24 * d);
    }
    return Text(buffer);
}

Text dateString() {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s %s %02d %02d:%02d:%02d %d\n", days[local.tm_wday], months[local.tm_mon],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
    return Text(buffer);
}

double processSeconds() {
    using clock = std::chrono::steady_clock;
    static const clock::time_point processStart = clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - processStart).count();
    return static_cast<double>(ms) * 0.001;
}

std::ostream& operator<<(std::ostream& os, const Stopwatch& t) { return os << formatDuration(t.elapsed()); }

Text shortened(const std::string& text) {
    if (text.size() < static_cast<std::size_t>(Text::maxLength)) return Text(text);
    return Text(text.substr(0, static_cast<std::size_t>(Text::maxLength) - 4) + "...");
}

bool isFolder(const Text& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path.str(), ignored);
}

std::uint64_t availableMemoryBytes() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kB = 0;
    std::string unit;
    while (meminfo >> key >> kB >> unit)
        if (key == "MemAvailable:") return kB * 1024;
    return 0;
}

bool createFolder(const Text& path) {
    const std::string folder = folderOf(path).str();
    for (std::size_t pos = folder.find('/'); pos != std::string::npos; pos = folder.find('/', pos + 1)) {
        const std::string part = folder.substr(0, pos);
        if (part.empty()) continue;  // the root of an absolute path
        struct stat info {};
        if (stat(part.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
        if (mkdir(part.c_str(), 0777) != 0) {
            std::cout << "Cannot create the folder: " << part << "!" << std::endl;
            return false;
        }
    }
    return true;
}

Text outputFileName(const Text& folder, const Text& name, int first, int second) {
    const int dot = name.find('.');
    const Text stem = dot < 0 ? name : name.left(dot);
    const Text extension = dot < 0 ? Text() : name.after(dot);
    Text path;
    if (first == -1)
        path = folder + name;
    else if (second == -1)
        path = folder + stem + "_" + first + "." + extension;
    else
        path = folder + stem + "_" + zeroPad(first, second) + "." + extension;
    if (!createFolder(path)) return Text();
    return path;
}

Text zeroPad(int value, int model) {
    std::string text = printed("%d", value);
    const std::size_t width = printed("%d", model).size();
    while (text.size() < width) text.insert(text.begin(), '0');
    return Text(text);
}

Text inFolder(const Text& folder, const Text& name) { return !name.empty() && name[0] == '/' ? name : folder + name; }

}  // namespace fluviagen
