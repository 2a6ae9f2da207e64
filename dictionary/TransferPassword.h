// The transfer password kept out of the texts the suite writes down.
//
// The FTP transfer program takes its password as the sixth word after its
// name ("KRFTP U|D <local> <remote> <host> <user> <password>"). A task's
// command, its description made from the command ("Run: KRFTP ..."), a
// script item's text and any other line can hold such a command, behind a
// wrapper (env, nohup, sudo, xargs, exec ...) or inside a shell's command
// text. The event log's writer masks every line it writes with this, and the
// runner its "Could not start" box and the commands it keeps for the
// exit-code lines.
#pragma once

#include <string>
#include <string_view>

namespace kr {

// The text with the transfer password shown as "********". Wherever a word
// names KRFTP (by its file name, in any folder, case or extension) its sixth
// argument is the password, and that word and every other place where its
// text (of four characters or more) stands become "********". Where the arguments' count cannot be told
// from the text (a redirection among them, a "$@", "$1", `...` or other
// expansion, a pattern of file names), every argument after the KRFTP word
// is masked, and so are the words handed to the shell text it stands in
// ("sh -c 'KRFTP \"$@\"' sh U ..."). A text in which no word names KRFTP is
// given back unchanged.
std::string MaskTransferPassword(std::string_view text);

}  // namespace kr
