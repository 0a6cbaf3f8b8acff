// The system service's control protocol, spoken over its Unix socket by the panel, veltrix-reg
// and the session guard. The service knows the caller by the socket's credentials (SO_PEERCRED):
// a member of group "veltrix" acts on its own account; a parent (a member of "veltrix-parents",
// or root) on any member's, with "for".
//
// A message is one line: fields separated by TAB, ended by LF, at most kMaxLine bytes with at
// most kMaxFields fields. In a field, '%' and every control byte are written as %XX (two
// upper-case hex digits), so a password may hold anything but NUL. A request's first field is
// its verb; a reply's is "ok" (then the answer's fields) or "error" (then one text for people).
//
//   status                          ok member|parent|not-member sealed|unsealed ACCOUNT
//   verify PASSWORD                 ok | error ...
//   first PASSWORD                  seals the first password, only while none is sealed, and
//                                   only from a parent ("for"), never from the member itself
//   change OLD NEW                  replaces the sealed password
//   save PASSWORD NAME=VALUE...     seals the values (kSealedNames) given; others stay
//   read PASSWORD                   ok NAME=VALUE... (the sealed values)
//   clear-log PASSWORD BYTES [INODE PREVIOUS]
//                                   removes the log's first BYTES bytes (the lines the parent
//                                   saw and cleared) and PREVIOUS bytes of the part kept before
//                                   it ("Block.log.1"); INODE names the log the parent read, so
//                                   a rotation since is known; lines appended since stay
//   autostart PASSWORD [on|off]     writes or removes the guard's machine-wide Run entry (for
//                                   every account); without on|off: ok on|off, as it is now
//   reset ACCOUNT [PASSWORD]        (root only) forgets ACCOUNT's sealed password, or seals
//                                   PASSWORD in its place
//   watch                           ok, then "notify TEXT" lines for the caller's account until
//                                   either side closes
//   ask MINUTES|hour REASON         (a member, for itself only) asks for 15, 30 or 60 more
//                                   minutes, or the rest of this hour; REASON one printable
//                                   line of 100 characters at most. One request is open at a
//                                   time; after a refusal the next comes 10 minutes later
//   mine                            (a member, of itself only) ok on|off allowed|blocked UNTIL
//                                   USED/ALLOWED [MINUTES|hour HH:MM REASON]: its own day as
//                                   "state" tells it, and its open request
//   grant PASSWORD MINUTES|HH:MM [WORDS]
//   refuse PASSWORD [WORDS]
//   pause PASSWORD HH:MM|midnight [WORDS]
//                                   (a parent's, with "for" only) more minutes today (neither an
//                                   hour nor the day used up blocks until they have passed), or
//                                   allowed until a time today; the open request refused;
//                                   blocked until a time today. Applied at once, told on the
//                                   member's desktop, logged; all of it ends at midnight
// A parent's (no password needed: the parent's account is the parent's):
//   asks                            ok LINE... (the open requests: each LINE a line of this
//                                   protocol without its LF, "MEMBER MINUTES|hour HH:MM REASON")
//   family                          ok MEMBER... (the members' account names)
//   family-states                   ok LINE... (every member's state in one reply: each LINE a
//                                   line of this protocol without its LF, "MEMBER" and then the
//                                   fields of "state MEMBER"; the oldest alerts left out where
//                                   the whole would not fit)
//   state MEMBER                    ok sealed|unsealed on|off allowed|blocked UNTIL STOPPED
//                                      ALERT... (blocking's switch; the hour now and until
//                                      when ("" when it never changes); programs stopped today;
//                                      the newest lines of the log about MEMBER, newest last)
//   use MEMBER                      ok TODAY LINE... (the record of MEMBER's use: today's date
//                                      YYYY-MM-DD, then "day DATE S0..S23", the seconds used in
//                                      each hour of each day kept, then "program DATE SECONDS
//                                      NAME" for today's programs)
//   for MEMBER VERB ARGS...         the requests above from verify to pause but ask, on
//                                   MEMBER's settings; and "try PASSWORD": a verify whose wrong
//                                   answer is not logged (a password typed for another child)
// Wrong passwords are limited per account: after kMaxWrong wrong ones in a minute, every try
// gets "error wait N" (seconds) until the minute has passed. Each is logged for the parent.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace control {

inline constexpr std::size_t kMaxLine = 16384;
inline constexpr std::size_t kMaxFields = 256;
inline constexpr int kMaxWrong = 5;

using Fields = std::vector<std::string>;

// The line for `fields`, with its LF.
std::string Encode(const Fields& fields);

struct Parsed {
    enum Status { Incomplete, Ok, Malformed } status = Incomplete;
    Fields fields;
    std::size_t consumed = 0;  // bytes of the buffer the line took, LF included
    std::string error;         // when Malformed: why, in plain words
};

// The first line of `buffer`. Incomplete while no LF has come and the buffer is within
// kMaxLine; Malformed for a longer line, a bad %-escape, a NUL, too many fields or an empty one.
Parsed Parse(std::string_view buffer);

// Overwrites the bytes of `text` (a password, a request that held one) and empties it; the
// compiler may not leave the overwrite out.
void Wipe(std::string& text);

// The socket: /run/veltrix/control, which only root can make; a build with the tests may be
// pointed elsewhere by $VELTRIX_CONTROL_SOCKET (an installed build never reads it: a line in a
// child's environment would hand the parent's password to a socket of the child's).
std::string SocketPath();

// The values a sealed account holds besides its password: "NeedJobOrNot", "NeedGuardOrNot",
// "InternetOffOrNot", "CheckBox1Check".."CheckBox168Check", "App1".."App9" (names as the
// account's store has them).
bool IsSealedName(std::string_view name);
std::vector<std::string> SealedNames();

}  // namespace control
