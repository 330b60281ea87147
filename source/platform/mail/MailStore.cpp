// GLib's headers name struct members "signals", which Qt defines as a keyword macro.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include "platform/mail/MailStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <mutex>

namespace mail {

namespace {

void EnsureGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

struct Unref {
    void operator()(gpointer object) const {
        if (object)
            g_object_unref(object);
    }
};
template <typename T>
using GRef = std::unique_ptr<T, Unref>;

struct OptionsFree {
    void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};

QString FromUtf8(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

// The parser's findings that mean the mail can't be trusted as a whole: it was cut short or its
// structure is broken. An odd header name alone is not one: senders write them, and the
// parser passes over the line.
QString FatalWarning(GMimeParserWarning code) {
    switch (code) {
    case GMIME_WARN_TRUNCATED_MESSAGE: return QStringLiteral("the mail is cut short");
    case GMIME_WARN_MALFORMED_MESSAGE: return QStringLiteral("the mail is malformed");
    case GMIME_WARN_MALFORMED_MULTIPART: return QStringLiteral("a multipart has no parts or no end");
    case GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY: return QStringLiteral("a multipart has no boundary");
    case GMIME_CRIT_NESTING_OVERFLOW: return QStringLiteral("the parts are nested too deeply");
    case GMIME_CRIT_PART_WITHOUT_HEADERS_OR_CONTENT:
        return QStringLiteral("a part has neither headers nor content");
    default: return QString();
    }
}

struct ParseFindings {
    QString fatal;  // the first fatal finding
};

void OnParserWarning(gint64, GMimeParserWarning code, const gchar*, gpointer data) {
    auto* findings = static_cast<ParseFindings*>(data);
    if (findings->fatal.isEmpty())
        findings->fatal = FatalWarning(code);
}

// Parses a whole mail from the stream. With `findings` the parser's fatal warnings are
// collected; without, they are ignored (a header block alone always looks cut short).
GRef<GMimeMessage> Parse(GMimeStream* stream, ParseFindings* findings) {
    EnsureGMime();
    std::unique_ptr<GMimeParserOptions, OptionsFree> options(g_mime_parser_options_new());
    if (findings)
        g_mime_parser_options_set_warning_callback(options.get(), OnParserWarning, findings);
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    return GRef<GMimeMessage>(g_mime_parser_construct_message(parser.get(), options.get()));
}

QDateTime FromGDateTime(GDateTime* value) {
    if (!value)
        return QDateTime();
    return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(value));
}

// The first Received header is the one the receiving server put on top: the delivery.
QDateTime FirstReceivedDate(GMimeMessage* message) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    const int count = g_mime_header_list_get_count(headers);
    for (int i = 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        if (g_ascii_strcasecmp(g_mime_header_get_name(header), "Received") != 0)
            continue;
        const QString value = FromUtf8(g_mime_header_get_value(header));
        const int semicolon = value.lastIndexOf(QLatin1Char(';'));
        if (semicolon < 0)
            return QDateTime();
        GDateTime* date =
            g_mime_utils_header_decode_date(value.mid(semicolon + 1).trimmed().toUtf8().constData());
        const QDateTime result = FromGDateTime(date);
        if (date)
            g_date_time_unref(date);
        return result;
    }
    return QDateTime();
}

QDateTime HeaderDeliveryTime(GMimeMessage* message) {
    const QDateTime received = FirstReceivedDate(message);
    return received.isValid() ? received : FromGDateTime(g_mime_message_get_date(message));
}

bool HasHeader(GMimeMessage* message, const char* name) {
    return g_mime_object_get_header(GMIME_OBJECT(message), name) != nullptr;
}

// Maildir names start with the delivery time in seconds: "1700000000.M1P2.host:2,S"; a few
// delivery agents put "_" after the seconds ("1700000000_0.1234.host"). Nine or ten digits
// (1973 to 2286) tell such a name from a dated one like "20231114.eml".
QDateTime TimeFromName(const QString& name) {
    int digits = 0;
    while (digits < name.size() && name.at(digits).isDigit())
        ++digits;
    if (digits < 9 || digits > 10 || digits >= name.size() ||
        (name.at(digits) != QLatin1Char('.') && name.at(digits) != QLatin1Char('_')))
        return QDateTime();
    const qint64 seconds = name.left(digits).toLongLong();
    return seconds > 0 ? QDateTime::fromSecsSinceEpoch(seconds) : QDateTime();
}

// Parses only the header block of a mail: enough to date it or read its subject without
// touching its body.
GRef<GMimeMessage> ParseHeaders(const QString& file) {
    constexpr qint64 kMaxHeaderBytes = 256 * 1024;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(file + QStringLiteral(" can't be read: ") + f.errorString());
    QByteArray head;
    while (head.size() < kMaxHeaderBytes && !f.atEnd()) {
        const QByteArray line = f.readLine(kMaxHeaderBytes);
        if (line.isEmpty())
            break;
        head += line;
        if (line == "\n" || line == "\r\n")
            break;
    }
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(head.constData(), head.size()));
    GRef<GMimeMessage> message = Parse(stream.get(), nullptr);
    if (!message)
        throw Error(file + QStringLiteral(" is not a MIME mail"));
    return message;
}

bool IsDir(const QString& path) { return QFileInfo(path).isDir(); }

Folder& ChildNamed(Folder& parent, const QString& name) {
    for (auto& child : parent.children)
        if (child.name == name)
            return child;
    Folder child;
    child.path = parent.path.isEmpty() ? name : parent.path + QLatin1Char('/') + name;
    child.name = name;
    parent.children.push_back(std::move(child));
    return parent.children.back();
}

void DropEmptyLevels(Folder& node) {
    for (auto& child : node.children)
        DropEmptyLevels(child);
    std::erase_if(node.children,
                  [](const Folder& f) { return !f.IsMaildir() && f.children.empty(); });
}

void SortTree(Folder& node) {
    std::sort(node.children.begin(), node.children.end(), [](const Folder& a, const Folder& b) {
        return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
    });
    for (auto& child : node.children)
        SortTree(child);
}

// Plain nested Maildirs below `dir`. Hidden folders are Maildir++ folders or the mail
// programs' own; symbolic links are not followed, so a link back up can't loop.
void AddNested(Folder& node, const QString& dir, int depth) {
    constexpr int kMaxDepth = 16;
    if (depth > kMaxDepth)
        return;
    const QFileInfoList subs = QDir(dir).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& sub : subs) {
        const QString name = sub.fileName();
        if (sub.isSymLink() || name == QLatin1String("cur") || name == QLatin1String("new") ||
            name == QLatin1String("tmp"))
            continue;
        Folder& child = ChildNamed(node, name);
        if (!child.IsMaildir() && IsMaildir(sub.absoluteFilePath()))
            child.dir = sub.absoluteFilePath();
        AddNested(child, sub.absoluteFilePath(), depth + 1);
    }
}

template <typename TreeFolder>  // Folder or const Folder
TreeFolder* FindNode(TreeFolder& tree, const QString& path) {
    TreeFolder* node = &tree;
    for (const QString& level : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        auto it = std::find_if(node->children.begin(), node->children.end(),
                               [&](const auto& f) { return f.name == level; });
        if (it == node->children.end())
            return nullptr;
        node = &*it;
    }
    return node;
}

}  // namespace

Error::Error(const QString& message, int systemError)
    : std::runtime_error(message.toStdString()), systemError_(systemError) {}

namespace {

// Marks that change the direction or embedding of the text around them.
bool IsBidiControl(QChar c) {
    const char16_t u = c.unicode();
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069);
}

qsizetype Utf8Bytes(const QString& text) { return text.toUtf8().size(); }

// The text without its last character (both halves of a surrogate pair).
void ChopCharacter(QString& text) {
    const qsizetype n = text.size();
    text.chop(n >= 2 && text[n - 1].isLowSurrogate() && text[n - 2].isHighSurrogate() ? 2 : 1);
}

}  // namespace

QString FitFileName(const QString& name, int maxBytes) {
    if (Utf8Bytes(name) <= maxBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString extension = dot > 0 ? name.mid(dot) : QString();
    if (Utf8Bytes(extension) > maxBytes / 2)
        extension.clear();  // no extension worth keeping: the name is cut as a whole
    QString base = extension.isEmpty() ? name : name.left(dot);
    const qsizetype room = maxBytes - Utf8Bytes(extension);
    while (!base.isEmpty() && Utf8Bytes(base) > room)
        ChopCharacter(base);
    return base + extension;
}

QString SafeFileName(const QString& name) {
    const int cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    QString result;
    for (const QChar c : name.mid(cut + 1))
        if (c.category() != QChar::Other_Control && !IsBidiControl(c))
            result += c;
    if (result.trimmed().isEmpty() || result == QLatin1String(".") || result == QLatin1String(".."))
        return QStringLiteral("attachment");
    return FitFileName(result);
}

bool IsMaildir(const QString& dir) {
    return !dir.isEmpty() && IsDir(dir + QStringLiteral("/cur")) && IsDir(dir + QStringLiteral("/new"));
}

// ---------------------------------------------------------------------------------------------

struct Message::Impl {
    QString file;
    GRef<GMimeMessage> message;
    std::vector<Attachment> attachments;
    std::vector<GMimePart*> parts;  // owned by `message`, one per attachment

    void Collect(GMimeObject* object) {
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            for (int i = 0; i < count; ++i)
                Collect(g_mime_multipart_get_part(multipart, i));
            return;
        }
        // An attached mail (message/rfc822) is not descended into: its attachments are not
        // this mail's.
        if (!GMIME_IS_PART(object))
            return;
        GMimePart* part = GMIME_PART(object);
        const char* fileName = g_mime_part_get_filename(part);
        if (!fileName && !g_mime_part_is_attachment(part))
            return;
        const QString name = FromUtf8(fileName);
        attachments.push_back({name, SafeFileName(name)});
        parts.push_back(part);
    }
};

Message::Message(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Message::~Message() = default;

std::unique_ptr<Message> Message::Open(const QString& file) {
    EnsureGMime();
    GError* error = nullptr;
    GRef<GMimeStream> stream(
        g_mime_stream_fs_open(QFile::encodeName(file).constData(), O_RDONLY, 0, &error));
    if (!stream) {
        const QString reason = error ? FromUtf8(error->message) : QStringLiteral("unknown error");
        g_clear_error(&error);
        throw Error(file + QStringLiteral(" can't be read: ") + reason);
    }
    ParseFindings findings;
    auto impl = std::make_unique<Impl>();
    impl->file = file;
    impl->message = Parse(stream.get(), &findings);
    if (!impl->message)
        throw Error(file + QStringLiteral(" is not a MIME mail"));
    if (!findings.fatal.isEmpty())
        throw Error(file + QStringLiteral(" is not a sound MIME mail: ") + findings.fatal);
    if (!HasHeader(impl->message.get(), "Date") && !HasHeader(impl->message.get(), "Received"))
        throw Error(file + QStringLiteral(" has neither a Date nor a Received header"));
    if (GMimeObject* body = g_mime_message_get_mime_part(impl->message.get()))
        impl->Collect(body);
    return std::unique_ptr<Message>(new Message(std::move(impl)));
}

QString HeaderSubject(const QString& file) {
    return FromUtf8(g_mime_message_get_subject(ParseHeaders(file).get()));
}

QString Message::File() const { return impl_->file; }

QString Message::Subject() const { return FromUtf8(g_mime_message_get_subject(impl_->message.get())); }

static InternetAddress* FirstSender(GMimeMessage* message) {
    InternetAddressList* from = g_mime_message_get_from(message);
    if (!from || internet_address_list_length(from) < 1)
        return nullptr;
    return internet_address_list_get_address(from, 0);
}

QString Message::SenderName() const {
    InternetAddress* sender = FirstSender(impl_->message.get());
    return sender ? FromUtf8(internet_address_get_name(sender)) : QString();
}

QString Message::SenderAddress() const {
    InternetAddress* sender = FirstSender(impl_->message.get());
    if (!sender || !INTERNET_ADDRESS_IS_MAILBOX(sender))
        return QString();
    return FromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(sender)));
}

QDateTime Message::HeaderReceived() const { return HeaderDeliveryTime(impl_->message.get()); }

const std::vector<Attachment>& Message::Attachments() const { return impl_->attachments; }

namespace {

// The bytes of a stream from its start.
QByteArray ReadAll(GMimeStream* stream) {
    QByteArray bytes;
    if (!stream || g_mime_stream_reset(stream) != 0)
        return bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = g_mime_stream_read(stream, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, qsizetype(n));
    }
    g_mime_stream_reset(stream);
    return bytes;
}

// Base64 as a mail carries it decodes whole: nothing but its alphabet, line ends and blanks,
// padding only at the end, and no group cut short to a single character.
bool SoundBase64(const QByteArray& encoded) {
    qsizetype symbols = 0, padding = 0;
    for (const char c : encoded) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!alphabet || padding > 0)
            return false;
        ++symbols;
    }
    if (padding > 2 || symbols % 4 == 1)
        return false;
    return padding == 0 || (symbols + padding) % 4 == 0;
}

}  // namespace

void Message::SaveAttachment(size_t index, const QString& target) const {
    if (index >= impl_->parts.size())
        throw Error(QStringLiteral("The mail has no attachment number ") + QString::number(index + 1));
    GMimeDataWrapper* content = g_mime_part_get_content(impl_->parts[index]);
    const QByteArray encoded =
        content ? ReadAll(g_mime_data_wrapper_get_stream(content)) : QByteArray();
    if (content && g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_BASE64 &&
        !SoundBase64(encoded))
        throw Error(target + QStringLiteral(" can't be written: the attachment's base64 content "
                                            "is broken"));

    // A new file of a name no one can foresee, made here and never opened through a link, then
    // renamed over the target in one step once complete: nothing half done is seen under the
    // target's name, and nothing outside the folder is written.
    const QFileInfo info(target);
    QByteArray partialName =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.sheetbeacon-XXXXXX"));
    const int fd = ::mkstemp(partialName.data());
    if (fd < 0) {
        const int error = errno;
        throw Error(target + QStringLiteral(" can't be written: ") +
                        QString::fromLocal8Bit(std::strerror(error)),
                    error);
    }
    // mkstemp makes it private; a saved attachment gets what open(0644) gave it, the user's
    // umask applied.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0644 & ~mask);
    GRef<GMimeStream> out(g_mime_stream_fs_new(fd));  // owns the descriptor
    bool written = true;
    gint64 decoded = 0;
    int savedErrno = 0;
    const auto keepErrno = [&](bool ok) {
        if (!ok && !savedErrno)
            savedErrno = errno;
        return ok;
    };
    if (content) {
        errno = 0;
        decoded = g_mime_data_wrapper_write_to_stream(content, out.get());
        written = keepErrno(decoded >= 0);
    }
    // A full disk may only show when the bytes reach it.
    written = keepErrno(g_mime_stream_flush(out.get()) == 0) && written;
    written = keepErrno(::fsync(fd) == 0) && written;
    written = keepErrno(g_mime_stream_close(out.get()) == 0) && written;
    if (!written) {
        ::remove(partialName.constData());
        throw Error(target + QStringLiteral(" can't be written: ") +
                        QString::fromLocal8Bit(std::strerror(savedErrno ? savedErrno : EIO)),
                    savedErrno);
    }
    // Content that decodes to nothing, though the mail carries some, was not understood.
    if (decoded == 0 && !encoded.trimmed().isEmpty()) {
        ::remove(partialName.constData());
        throw Error(target + QStringLiteral(" can't be written: the attachment's content can't "
                                            "be decoded"));
    }
    if (::rename(partialName.constData(), QFile::encodeName(target).constData()) != 0) {
        const int renameErrno = errno;
        ::remove(partialName.constData());
        throw Error(target + QStringLiteral(" can't be written: ") +
                        QString::fromLocal8Bit(std::strerror(renameErrno)),
                    renameErrno);
    }
}

// ---------------------------------------------------------------------------------------------

Store::Store(const QString& root) : root_(root) {
    while (root_.size() > 1 && root_.endsWith(QLatin1Char('/')))
        root_.chop(1);
}

bool Store::IsRunning() const { return IsMaildir(root_); }

Folder Store::Folders() const {
    Folder tree;
    tree.name = QStringLiteral("Inbox");
    if (IsMaildir(root_))
        tree.dir = root_;

    // Maildir++: every level is a hidden folder of the root, levels joined by ".".
    QStringList plusPaths;
    const QFileInfoList hidden =
        QDir(root_).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : hidden) {
        const QString name = entry.fileName();
        if (!name.startsWith(QLatin1Char('.')) || name.size() < 2)
            continue;
        const QStringList levels = name.mid(1).split(QLatin1Char('.'));
        if (levels.contains(QString()) || !IsMaildir(entry.absoluteFilePath()))
            continue;
        Folder* node = &tree;
        for (const QString& level : levels)
            node = &ChildNamed(*node, level);
        node->dir = entry.absoluteFilePath();
        plusPaths << node->path;
    }

    AddNested(tree, root_, 0);
    for (const QString& path : plusPaths)
        if (Folder* node = FindNode(tree, path))
            AddNested(*node, node->dir, 1);
    DropEmptyLevels(tree);
    SortTree(tree);
    return tree;
}

const Folder* Store::FindFolder(const Folder& tree, const QString& path) {
    const Folder* node = FindNode(tree, path);
    return node && node->IsMaildir() ? node : nullptr;
}

std::vector<MailEntry> Store::Mails(const Folder& folder, const QDateTime& notBefore) const {
    std::vector<MailEntry> result;
    if (!folder.IsMaildir())
        return result;
    // Hidden files are the mail programs' own and never mails.
    QFileInfoList files = QDir(folder.dir + QStringLiteral("/cur")).entryInfoList(QDir::Files, QDir::NoSort);
    files += QDir(folder.dir + QStringLiteral("/new")).entryInfoList(QDir::Files, QDir::NoSort);
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.fileName() < b.fileName();
    });
    for (const QFileInfo& info : files) {
        MailEntry entry;
        entry.file = info.absoluteFilePath();
        entry.received = TimeFromName(info.fileName());
        if (!entry.received.isValid()) {
            try {
                entry.received = HeaderDeliveryTime(ParseHeaders(entry.file).get());
                if (!entry.received.isValid())
                    entry.problem = entry.file + QStringLiteral(" has neither a Date nor a Received header");
            } catch (const Error& e) {
                entry.problem = e.message();
            }
        }
        if (entry.received.isValid() && notBefore.isValid() && entry.received < notBefore)
            continue;
        result.push_back(std::move(entry));
    }
    return result;
}

}  // namespace mail
