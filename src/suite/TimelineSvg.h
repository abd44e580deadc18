// SPDX-License-Identifier: MIT
// A call's timeline as a picture: the client and the simulator as two columns, time running down,
// each piece an arrow from its sender to the other side, the waits TAP times as brackets beside
// them, the judge's findings in a column of their own.
#pragma once

#include "ports/Records.h"

#include <string>

namespace ostrella {

// A standalone SVG document (UTF-8, no XML declaration, so that it also goes inline into HTML;
// class "timeline"), drawn only with what SVG Tiny 1.2 has: rect, line, polyline, path, circle,
// text, g and title. Time runs down from the connection (0 s). Each piece takes a row of its own
// and every gap between pieces adds length in proportion to it (a gap longer than a screenful is
// shortened and marked with a break on the axis), so crowded pieces never overprint and long
// waits still look long. The simulator's column is shaded where the terminal had the line.
// A piece is labelled with its bytes (controls by name, cut to 48 characters with the length in
// bytes after it); its full text, time and length are in its tooltip. A changed character is a
// red dashed arrow "A -> C". The waits (dial, t1, t3, t4, t5) come from the pieces; see
// callCourse(). Findings are circles in their level's colour (error red, warning orange, note
// grey) with the rule, their text in a tooltip. A transcript cut at its bound (dropped > 0) ends
// in a note saying so. Pieces after the first 1,500 and findings after the first 500 are counted
// in that note, not drawn. Same input, same bytes.
std::string timelineSvg(const CallTimeline& call);

} // namespace ostrella
