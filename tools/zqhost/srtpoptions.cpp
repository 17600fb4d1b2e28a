#include "srtpoptions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "arguments.h"
#include "srtp/srtpkeys.h"
#include "valueoptions.h"
#include "zqcrandom.h"

namespace {

// A base64 master key is 40 characters; a first line longer than this is
// not one (and a file without line ends, /dev/zero say, ends the read).
constexpr size_t kMaxKeyLineBytes = 1024;

struct KeyOption {
    const char* text;  // --srtp-key
    const char* file;  // --srtp-key-file
};

constexpr KeyOption kKeyOptions{"--srtp-key", "--srtp-key-file"};
constexpr KeyOption kReceiveKeyOptions{"--srtp-recv-key", "--srtp-recv-key-file"};

// A key as the command line gave it: which option, and the text of the key
// (read from the file for the file option).
struct GivenKey {
    std::string option;
    std::string base64;
};

bool WrittenLikeSuite(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

std::string Trimmed(const std::string& text)
{
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

// The first line of the file, without the whitespace around it.
std::string ReadKeyFile(const std::string& option, const std::string& path)
{
    CheckReadableFile(option, path);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw CommandError("option " + option + ": cannot read '" + path + "': " + std::strerror(errno));
    }
    std::vector<char> line(kMaxKeyLineBytes + 2, '\0');
    const bool gotLine = std::fgets(line.data(), static_cast<int>(line.size()), file) != nullptr;
    std::fclose(file);
    const std::string text = gotLine ? std::string(line.data()) : std::string();
    if (text.size() > kMaxKeyLineBytes) {
        throw CommandError("option " + option + ": the first line of '" + path + "' is too long for a key");
    }
    const std::string key = Trimmed(text);
    if (key.empty()) {
        throw CommandError("option " + option + ": '" + path + "' holds no key on its first line");
    }
    return key;
}

// The key that `options` give, from the command line or a file; none when
// neither option is there.
std::optional<GivenKey> TakeKey(Arguments& arguments, const KeyOption& options)
{
    const auto text = arguments.TakeValue(options.text);
    const auto file = arguments.TakeValue(options.file);
    if (text && file) {
        throw CommandError(std::string("give ") + options.text + " or " + options.file + ", not both");
    }
    if (text) {
        return GivenKey{options.text, *text};
    }
    if (file) {
        return GivenKey{options.file, ReadKeyFile(options.file, *file)};
    }
    return std::nullopt;
}

// Key options are only read once --srtp is known to be there: a key file is
// not opened for a command that refuses its options anyway.
std::optional<std::string> FirstKeyOptionGiven(Arguments& arguments)
{
    for (const char* option : {kKeyOptions.text, kKeyOptions.file, kReceiveKeyOptions.text, kReceiveKeyOptions.file}) {
        if (arguments.TakeValue(option)) {
            return std::string(option);
        }
    }
    return std::nullopt;
}

const zqm::srtp::Suite& SuiteNamed(const std::string& name)
{
    if (name.empty()) {
        return zqm::srtp::DefaultSuite();
    }
    const zqm::srtp::Suite* suite = zqm::srtp::FindSuite(name);
    if (suite == nullptr) {
        throw CommandError("option --srtp: '" + name + "' is not one of " + SRTPSuiteNames());
    }
    return *suite;
}

void CheckKey(const zqm::srtp::Suite& suite, const GivenKey& key)
{
    std::string why;
    if (std::optional<std::vector<uint8_t>> bytes = zqm::srtp::ParseMasterKey(suite, key.base64, &why)) {
        std::fill(bytes->begin(), bytes->end(), uint8_t{0});
        return;
    }
    throw CommandError("option " + key.option + ": " + why);
}

std::string DrawKey(const zqm::srtp::Suite& suite)
{
    std::vector<uint8_t> key(suite.MasterBytes());
    if (!ZQCRandom::FillSecret(key.data(), key.size())) {
        throw std::runtime_error("the kernel's random source gave no key material");
    }
    std::string base64 = zqm::srtp::EncodeBase64(key);
    std::fill(key.begin(), key.end(), uint8_t{0});
    return base64;
}

}  // namespace

std::string SRTPSuiteNames()
{
    std::string names;
    for (const zqm::srtp::Suite& suite : zqm::srtp::AllSuites()) {
        names += (names.empty() ? "" : ", ") + std::string(suite.name);
    }
    return names;
}

SRTPOptions TakeSRTPOptions(Arguments& arguments, MissingSRTPKey missing)
{
    const auto suiteName = arguments.TakeOptionalValue("--srtp", WrittenLikeSuite);
    if (!suiteName) {
        if (const auto option = FirstKeyOptionGiven(arguments)) {
            throw CommandError("option " + *option + " needs --srtp");
        }
        return SRTPOptions{};
    }
    const zqm::srtp::Suite& suite = SuiteNamed(*suiteName);
    std::optional<GivenKey> key = TakeKey(arguments, kKeyOptions);
    const std::optional<GivenKey> receiveKey = TakeKey(arguments, kReceiveKeyOptions);
    if (receiveKey && !key) {
        throw CommandError("option " + receiveKey->option + " needs --srtp-key or --srtp-key-file");
    }
    if (!key && missing == MissingSRTPKey::Refuse) {
        throw CommandError("option --srtp needs a key: --srtp-key KEY or --srtp-key-file FILE");
    }
    if (key) {
        CheckKey(suite, *key);
    } else {
        key = GivenKey{"", DrawKey(suite)};
    }
    if (receiveKey) {
        CheckKey(suite, *receiveKey);
    }
    return SRTPOptions{suite.name, key->base64, receiveKey ? receiveKey->base64 : key->base64};
}
