// Internet mail messages: the parts of one message and the MIME text built
// from them.
//
// The text is produced as a stream (MimeSource) rather than one string, so a
// message carrying a large attachment (a whole data file) never sits in
// memory: attachments are read and base64-encoded chunk by chunk while the
// SMTP client uploads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kr::net {

struct MailAddress {
    std::string name;     // display name, may be empty
    std::string address;  // local@domain
};

struct MailAttachment {
    std::string path;         // the file to send
    std::string fileName;     // the name the recipient sees; the last part of path when empty
    std::string contentType;  // guessed from the file name's extension when empty
};

struct MailMessage {
    // The From header. An address of its own is optional: a display name
    // alone takes the envelope sender's address.
    MailAddress from;
    // The envelope sender (SMTP MAIL FROM) and the Reply-To header; when
    // empty the From address is the envelope sender and no Reply-To is sent.
    std::string returnPath;
    std::vector<MailAddress> to;
    std::vector<MailAddress> cc;
    std::vector<MailAddress> bcc;  // envelope only, never in a header
    // A news article when not empty: a Newsgroups: header takes the place
    // of To: and Cc:, and the mailer goes out as X-Newsreader.
    std::vector<std::string> newsgroups;
    std::string subject;
    std::string organization;
    std::string mailer;            // X-Mailer (X-Newsreader for news)
    int priority = 3;              // X-Priority; 3 (normal) sends no header
    std::string body;              // plain text; line ends become CR LF
    std::vector<MailAttachment> attachments;
};

// What a message header needs that does not come from the message itself.
// Left empty, each is generated (current date, a unique id, a random boundary).
struct MimeParams {
    std::string date;       // RFC 5322 date, e.g. "Tue, 03 Dec 2024 10:15:00 +0100"
    std::string messageId;  // without angle brackets
    std::string boundary;
};

// Texts are taken as UTF-8; bytes that are not valid UTF-8 are read as
// Latin-1, so whatever a record holds goes out as valid UTF-8.
std::string ToValidUtf8(std::string_view s);
// An RFC 2047 encoded-word sequence for a header text when it needs one
// (non-ASCII), else the text itself. Line breaks and control characters
// become blanks. `used` is the length of the header line before the text.
std::string EncodeHeaderText(std::string_view text, std::size_t used = 0);
// A display name and address as they appear in To:, Cc: and From:.
std::string FormatAddress(const MailAddress& a);
// Splits a sender text as users write it: "Name" <addr>, Name <addr>, addr,
// or a display name alone (no '@'). "Name" <> gives the name and no address.
MailAddress ParseAddress(std::string_view text);
// True when an address can go into an SMTP command: not empty and free of
// blanks, control characters and angle brackets.
bool IsUsableAddress(std::string_view address);
// A date in RFC 5322 form for the given time (seconds since the epoch), in
// local time with its offset.
std::string MailDate(std::int64_t unixSeconds);
// Content type for a file name by its extension; application/octet-stream
// when unknown.
std::string ContentTypeFor(std::string_view fileName);
// Quoted-printable encoding of a text whose lines end in CR LF.
std::string QuotedPrintable(std::string_view text);
// Base64 of a block, without line breaks.
std::string Base64(std::string_view data);

// The message as a byte stream, as SMTP DATA carries it (without the final
// dot; the SMTP client adds the dot-stuffing).
class MimeSource {
public:
    // Checks the attachments (each must be a readable regular file) and
    // lays out the message. On failure ok() is false and error() says which
    // file could not be read.
    MimeSource(const MailMessage& message, MimeParams params = {});
    ~MimeSource();
    MimeSource(const MimeSource&) = delete;
    MimeSource& operator=(const MimeSource&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // Total bytes of the message as laid out (attachment sizes as they were
    // when the source was made).
    std::uint64_t totalSize() const { return total_; }
    std::uint64_t produced() const { return produced_; }
    const MimeParams& params() const { return params_; }

    // Fills up to n bytes; returns the bytes written, 0 at the end. On a read
    // error of an attachment returns 0 and sets readFailed().
    std::size_t Read(char* dst, std::size_t n);
    bool readFailed() const { return readFailed_; }

    // The whole message as one string (for small messages and tests).
    std::string ReadAll();

private:
    struct Segment {
        std::string text;   // literal bytes, or
        std::string path;   // a file sent as base64 lines
    };
    bool FillPending();

    std::vector<Segment> segments_;
    std::size_t next_ = 0;
    std::string pending_;
    std::size_t pendingPos_ = 0;
    std::FILE* file_ = nullptr;
    std::uint64_t total_ = 0;
    std::uint64_t produced_ = 0;
    bool readFailed_ = false;
    std::string error_;
    MimeParams params_;
};

}  // namespace kr::net
