#include "config/documents.h"

#include "config/duplicate_keys.h"
#include "config/exception.h"
#include "config/startup_notes.h"
#include "files/new_file.h"
#include "files/read_file.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <unistd.h>

extern const unsigned char defaultConfigDocument[];
extern const std::size_t defaultConfigDocumentSize;

namespace kwo {
namespace {

// What reading a document gave: its text, or nothing when it cannot be read
// (missing, a folder, no permission, a read error) or is empty (all count as
// "no document"), or nothing because it is larger than the limit.
struct DocumentText {
    std::optional<std::string> text;
    bool tooLarge = false;
};

DocumentText readDocument(const std::string& path, std::size_t limit)
{
    FileBytes file = readFileBytes(path, limit);
    if (!file.read() || file.bytes.empty())
        return {};
    if (file.truncated)
        return {std::nullopt, true};
    // Editors on Windows start UTF-8 text with a byte-order mark, which is
    // no JSON; the text after it is the document.
    static constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (std::string_view(file.bytes).substr(0, byteOrderMark.size()) == byteOrderMark)
        file.bytes.erase(0, byteOrderMark.size());
    return {std::move(file.bytes)};
}

std::string megabytes(std::size_t bytes)
{
    return std::to_string(bytes >> 20) + " MB";
}

// Parses one document into `root`. The reader gives up on a document nested
// deeper than its stack allows by throwing; that is an invalid document like
// any other, and `root` then keeps what it held before.
bool parse(const std::string& text, Json::Value& root, std::string* errors)
{
    Json::Reader reader;
    Json::Value parsed = root;
    bool ok = false;
    try {
        ok = reader.parse(text.data(), text.data() + text.size(), parsed, true);
    } catch (const std::exception& error) {
        if (errors)
            *errors = std::string(error.what()) + "\n";
        return false;
    }
    if (!ok && errors)
        *errors = reader.getFormattedErrorMessages();
    root = std::move(parsed);
    return ok;
}

const char* kindOf(const Json::Value& value)
{
    switch (value.type()) {
    case Json::stringValue:
        return "a string";
    case Json::booleanValue:
        return "a boolean";
    case Json::arrayValue:
        return "an array";
    default:
        return "a number";
    }
}

// The file a path finally names: symbolic links followed, each relative
// link resolved against the folder of the link. A station may keep
// "user.config" elsewhere through a link; the link must stay.
std::filesystem::path finalTarget(std::filesystem::path path)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)))
            return path;
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error)
            return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path; // a loop of links: the rename then replaces the last one seen
}

// Makes a rename in `folder` durable.
void syncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

std::string systemReason() { return std::strerror(errno); }

// Replaces the file `path` names with `text` so that a reader only ever sees
// the old or the new content: a temporary file beside the final target,
// flushed, renamed over it, and the folder flushed. The target keeps its
// permission bits and, where the user may give it, its group. A symbolic link
// planted at the temporary name is never followed. A failure leaves the old
// file and gives the reason.
std::optional<std::string> writeDocumentSafely(const std::string& path, const std::string& text)
{
    const std::filesystem::path target = finalTarget(path);
    std::filesystem::path temporary = target;
    temporary += ".new";

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;

    ::unlink(temporary.c_str()); // a leftover (or a planted link itself, not what it points to)
    const int fd = createNewFile(temporary.string());
    if (fd < 0)
        return systemReason();
    bool ok = writeAll(fd, text);
    if (ok && existed) {
        // The new file keeps the old one's group, so the station users who
        // shared it still do; a group the writer is not in cannot be given,
        // and the file then has the writer's.
        [[maybe_unused]] const int regrouped = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        ok = ::fchmod(fd, old.st_mode & 07777) == 0; // the umask must not narrow the old bits
    }
    ok = ok && ::fsync(fd) == 0;
    std::string reason = ok ? "" : systemReason();
    if (::close(fd) != 0 && ok) {
        ok = false;
        reason = systemReason();
    }
    if (ok && std::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        reason = systemReason();
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return reason;
    }
    syncFolder(target.parent_path());
    return std::nullopt;
}

} // namespace

std::string_view defaultDocument()
{
    return {reinterpret_cast<const char*>(defaultConfigDocument), defaultConfigDocumentSize};
}

void mergeConfig(Json::Value& target, const Json::Value& source, const std::string& path)
{
    if (!source.isNull() && !source.isObject()) {
        target = source;
        return;
    }
    if (source.isNull())
        return; // has no members: changes nothing
    if (!target.isNull() && !target.isObject())
        throw Exception((path.empty() ? std::string("document") : path) + ": expected " + kindOf(target));
    for (const std::string& name : source.getMemberNames()) {
        const std::string memberPath = path.empty() ? name : path + "/" + name;
        if (!target.isMember(name))
            target[name] = source[name];
        else
            mergeConfig(target[name], source[name], memberPath);
    }
}

std::string mainDocumentPath(const std::string& configPath)
{
    return configPath.empty() ? "kwo.config" : configPath;
}

void loadConfiguration(const std::string& configPath, Json::Value& config, Json::Value& userConfig,
                       const AskContinue& ask, StartupNotes* notes, const std::string& userPath)
{
    const std::string_view builtIn = defaultDocument();
    parse(std::string(builtIn), config, nullptr);

    const std::string mainPath = mainDocumentPath(configPath);
    const DocumentText main = readDocument(mainPath, mainDocumentLimit);
    if (main.tooLarge)
        throw Exception(mainPath + ": the document is larger than " + megabytes(mainDocumentLimit));
    if (main.text) {
        std::string errors;
        if (parse(*main.text, userConfig, &errors)) {
            if (!userConfig.isObject() && !userConfig.isNull())
                throw Exception(mainPath + ": the document must be a JSON object");
            if (notes)
                for (const DuplicateKey& duplicate : findDuplicateKeys(*main.text))
                    notes->warn(mainPath + " line " + std::to_string(duplicate.line) + ": \"" + duplicate.key +
                                "\" is written again; the one on line " + std::to_string(duplicate.firstLine) +
                                " is ignored");
            mergeConfig(config, userConfig);
        } else if (!ask(errors + "\nContinue with default settings?")) {
            throw ProcessExit{-1};
        } else if (notes) {
            notes->warn(mainPath + " is not valid JSON; the built-in defaults apply");
        }
    }

    // The user document only ever contributes "camera"; what it holds beyond
    // that is kept and written back untouched.
    const DocumentText user = readDocument(userPath, userDocumentLimit);
    if (user.tooLarge && notes)
        notes->warn(userPath + " is larger than " + megabytes(userDocumentLimit) +
                    " and is not read; it is rewritten at the end of the start-up");
    if (user.text)
        parse(*user.text, userConfig, nullptr);
    if (!userConfig.isNull() && !userConfig.isObject())
        userConfig = Json::Value(Json::objectValue);
}

std::optional<std::string> saveUserConfig(const Json::Value& userConfig, const std::string& path)
{
    std::ostringstream text;
    Json::StyledStreamWriter("    ").write(text, userConfig);
    return writeDocumentSafely(path, text.str());
}

} // namespace kwo
