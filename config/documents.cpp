#include "config/documents.h"

#include "config/exception.h"
#include "files/read_file.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cerrno>
#include <cstdio>
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

// The whole text of a file, or nothing when it cannot be read (missing, a
// folder, no permission, a read error) or is empty: all count as "no document".
std::optional<std::string> readDocument(const std::string& path)
{
    FileBytes file = readFileBytes(path, std::numeric_limits<std::size_t>::max());
    if (!file.read() || file.bytes.empty())
        return std::nullopt;
    return std::move(file.bytes);
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

// Replaces the file `path` names with `text` so that a reader only ever sees
// the old or the new content: a temporary file beside the final target,
// flushed, renamed over it, and the folder flushed. The target keeps its
// permission bits. A symbolic link planted at the temporary name is never
// followed. Failures leave the old file and are silent.
void writeDocumentSafely(const std::string& path, const std::string& text)
{
    const std::filesystem::path target = finalTarget(path);
    std::filesystem::path temporary = target;
    temporary += ".new";

    mode_t mode = 0666; // narrowed by the umask, as for any new file
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed)
        mode = old.st_mode & 07777;

    ::unlink(temporary.c_str()); // a leftover (or a planted link itself, not what it points to)
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return;
    bool ok = writeAll(fd, text);
    if (ok && existed)
        ok = ::fchmod(fd, mode) == 0; // the umask must not narrow the old bits
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return;
    }
    syncFolder(target.parent_path());
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

void loadConfiguration(const std::string& configPath, Json::Value& config, Json::Value& userConfig,
                       const AskContinue& ask)
{
    const std::string_view builtIn = defaultDocument();
    parse(std::string(builtIn), config, nullptr);

    const std::string mainPath = configPath.empty() ? "kwo.config" : configPath;
    if (const auto text = readDocument(mainPath)) {
        std::string errors;
        if (parse(*text, userConfig, &errors)) {
            if (!userConfig.isObject() && !userConfig.isNull())
                throw Exception(mainPath + ": the document must be a JSON object");
            mergeConfig(config, userConfig);
        } else if (!ask(errors + "\nContinue with default settings?")) {
            throw ProcessExit{-1};
        }
    }

    // The user document only ever contributes "camera"; what it holds beyond
    // that is kept and written back untouched.
    if (const auto text = readDocument("user.config"))
        parse(*text, userConfig, nullptr);
    if (!userConfig.isNull() && !userConfig.isObject())
        userConfig = Json::Value(Json::objectValue);
}

void saveUserConfig(const Json::Value& userConfig)
{
    std::ostringstream text;
    Json::StyledStreamWriter("    ").write(text, userConfig);
    writeDocumentSafely("user.config", text.str());
}

} // namespace kwo
