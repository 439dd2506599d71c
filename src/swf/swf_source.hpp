// The text form of a Flash movie that the project's own movies are written in (the demo's, the tests'),
// assembled into a SWF file by `quizhost-swf`. One directive per line; `#` starts a comment.
//
//   movie version=6 width=800 height=600 rate=30 background=102040 compress=fws|cws|zws [as3]
//   font ID "_sans"                        a device font (no glyphs: the player draws it)
//   rect ID WIDTH HEIGHT RRGGBB            a shape: a filled rectangle
//   text ID WIDTH HEIGHT FONT SIZE RRGGBB VARIABLE ["initial text"]   a dynamic text field bound to VARIABLE
//   sprite ID ... endsprite                a movie clip with its own timeline
//   button ID SHAPE                        a button drawn (and hit) by SHAPE; its "on" blocks follow
//   place ID DEPTH [name=NAME] [x=X] [y=Y] puts a character on the timeline; its "on" blocks follow
//   on EVENT ... end                       a clip's or button's actions: load, enterFrame, keyDown, press, ...
//   on keyPress KEY ... end                a button's actions for a key: "k" or Enter, Left, Space, Escape, ...
//   actions ... end                        the frame's actions (DoAction)
//   initactions SPRITE ... end             a clip's init actions (DoInitAction)
//   label NAME                             names the frame
//   frame                                  ends the frame (ShowFrame)
//   abc                                    an ActionScript 3 block (a movie the host cannot answer)
//
// Actions, one per line: "NAME:" places a label; push VALUE... ("text", 12, 1.5, true, false, null,
// undefined, r1 for a register, c3 for a constant); pool "a" "b"; geturl "url" "target"; geturl2 FLAGS;
// fscommand "COMMAND" "args"; gotoframe N (from 0); gotolabel "name"; settarget "path"; store N;
// jump LABEL; if LABEL; function NAME [PARAMETER...] ... endfunction; and the plain ones by name
// (play, stop, getvariable, setvariable, getmember, setmember, callfunction, callmethod, pop, add2, ...).
#pragma once

#include <string_view>

#include "swf/swf_file.hpp"

namespace quizhost::swf {

// Throws swf_error "line N: ..." for the first line it cannot read.
movie assemble(std::string_view source);

}  // namespace quizhost::swf
