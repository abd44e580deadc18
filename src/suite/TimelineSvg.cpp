// SPDX-License-Identifier: MIT
#include "suite/TimelineSvg.h"

#include "suite/CallCourse.h"
#include "suite/MarkupText.h"
#include "suite/TimelineLayout.h"

#include <algorithm>
#include <cmath>

namespace ostrella {

namespace {

using namespace timeline;

constexpr std::size_t MaxLabelChars = 48;
constexpr std::size_t MaxTooltipChars = 600;

constexpr const char* ClientInk = "#2456a4";
constexpr const char* SimulatorInk = "#17784a";
constexpr const char* ChangeInk = "#c62828";
constexpr const char* Sans = "DejaVu Sans, Helvetica, Arial, sans-serif";
constexpr const char* Mono = "DejaVu Sans Mono, Menlo, Consolas, monospace";

std::string n(double value)
{
    return std::to_string(std::llround(value));
}

// "12.345": seconds with milliseconds.
std::string exactSeconds(std::int64_t ms)
{
    const std::int64_t clamped = std::max<std::int64_t>(ms, 0);
    std::string fraction = std::to_string(clamped % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return std::to_string(clamped / 1000) + "." + fraction;
}

std::string text(double x, double y, std::string_view attributes, std::string_view content)
{
    return "<text x=\"" + n(x) + "\" y=\"" + n(y) + "\" " + std::string(attributes) + ">"
        + std::string(content) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, std::string_view attributes)
{
    return "<line x1=\"" + n(x1) + "\" y1=\"" + n(y1) + "\" x2=\"" + n(x2) + "\" y2=\"" + n(y2)
        + "\" " + std::string(attributes) + "/>\n";
}

std::string rect(double x, double y, double w, double h, std::string_view attributes)
{
    return "<rect x=\"" + n(x) + "\" y=\"" + n(y) + "\" width=\"" + n(w) + "\" height=\"" + n(h)
        + "\" " + std::string(attributes) + "/>\n";
}

std::string title(std::string_view escaped)
{
    return "<title>" + std::string(escaped) + "</title>";
}

std::string levelInk(std::string_view level)
{
    if (level == "error")
        return "#d1242f";
    if (level == "warning")
        return "#e8710a";
    return "#8c959f";
}

std::string waitInk(std::string_view name)
{
    if (name == "dial")
        return "#7c3aed";
    if (name == "t3")
        return "#b45309";
    if (name == "t4")
        return "#0e7490";
    return "#4d7c0f";
}

std::string_view waitMeaning(std::string_view name)
{
    if (name == "dial")
        return "the client's dial command to the modem's result";
    if (name == "t1")
        return "one CR of the client to its next, waiting for ID=";
    if (name == "t5")
        return "the terminal's ID= to the client's logon";
    if (name == "t3")
        return "the end of the client's block to the terminal's reply";
    return "the terminal's reply to the client's next block or EOT";
}

class Drawing {
public:
    Drawing(const CallTimeline& call, const CallCourse& course, const Layout& layout)
        : call_(call)
        , course_(course)
        , layout_(layout)
    {
    }

    std::string draw()
    {
        header();
        lanes();
        axis();
        waits();
        pieces();
        findings();
        ending();
        legend();
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.2\" baseProfile=\"tiny\" "
               "class=\"timeline\" width=\""
            + n(layout_.width()) + "\" height=\"" + n(layout_.height()) + "\" viewBox=\"0 0 "
            + n(layout_.width()) + " " + n(layout_.height()) + "\" font-family=\"" + Sans + "\">\n"
            + title("Call " + std::to_string(call_.call) + " timeline") + "\n"
            + rect(0, 0, layout_.width(), layout_.height(), "fill=\"#ffffff\"") + out_ + "</svg>\n";
    }

private:
    void header()
    {
        std::string about = "Call " + std::to_string(call_.call);
        if (call_.line > 0)
            about += " \u00b7 line " + std::to_string(call_.line);
        if (!call_.lineName.empty())
            about += " \u00b7 " + markupOfBytes(call_.lineName);
        if (!call_.modem.empty())
            about += " \u00b7 " + markupOfBytes(call_.modem) + " modem";
        if (!call_.terminal.empty())
            about += " \u00b7 " + markupOfBytes(call_.terminal) + " terminal";
        about += " \u00b7 " + secondsText(layout_.endMs()) + " s \u00b7 "
            + std::to_string(call_.pieces.size()) + " pieces";
        out_ += text(16, 24, "font-size=\"15\" font-weight=\"bold\" fill=\"#1f2328\"", about);
        const std::string head = "font-size=\"13\" font-weight=\"bold\" text-anchor=\"middle\"";
        out_ += text(ClientX, HeadY, head + " fill=\"" + ClientInk + "\"", "client");
        out_ += text(SimulatorX, HeadY, head + " fill=\"" + SimulatorInk + "\"", "simulator");
        const std::string side = "font-size=\"12\" fill=\"#57606a\"";
        out_ += text(AxisX - 8, HeadY, side + " text-anchor=\"end\"", "time");
        if (!course_.waits.empty())
            out_ += text(WaitsX, HeadY, side, "waits");
        if (!call_.findings.empty())
            out_ += text(layout_.findingsX() - 6, HeadY, side, "findings");
    }

    // The two columns; the simulator's shaded blue where the terminal had the line.
    void lanes()
    {
        const double top = Top - 10;
        const double bottom = layout_.endY();
        out_ += rect(ClientX - BandHalf, top, 2 * BandHalf, bottom - top,
                     "fill=\"#eef2f8\" rx=\"4\"");
        out_ += rect(SimulatorX - BandHalf, top, 2 * BandHalf, bottom - top,
                     "fill=\"#f1f1ef\" rx=\"4\"");
        std::vector<double> modemStarts { top };
        for (const TerminalStretch& stretch : course_.terminal) {
            if (stretch.connect >= layout_.drawn())
                break;
            const double from = layout_.rowY(stretch.connect);
            const double to = stretch.noCarrier && *stretch.noCarrier < layout_.drawn()
                ? layout_.rowY(*stretch.noCarrier)
                : bottom;
            out_ += rect(SimulatorX - BandHalf, from, 2 * BandHalf, to - from, "fill=\"#d6e6fb\"");
            stretchLabel(from, "terminal", "#1d4f91");
            if (to < bottom)
                modemStarts.push_back(to);
        }
        for (const double y : modemStarts)
            stretchLabel(y, "modem", "#6e7781");
        const std::string lane = "stroke-width=\"2\" stroke=\"#8c959f\"";
        out_ += line(ClientX, top, ClientX, bottom, lane);
        out_ += line(SimulatorX, top, SimulatorX, bottom, lane);
    }

    void stretchLabel(double y, std::string_view name, std::string_view ink)
    {
        out_ += "<g class=\"stretch\">"
            + rect(SimulatorX + BandHalf - 62, y + 3, 58, 15,
                   "rx=\"3\" fill=\"#ffffff\" fill-opacity=\"0.85\"")
            + text(SimulatorX + BandHalf - 33, y + 14,
                   "font-size=\"11\" font-style=\"italic\" text-anchor=\"middle\" fill=\""
                       + std::string(ink) + "\"",
                   name)
            + "</g>\n";
    }

    // Seconds from the connection, ticks not closer than MinTickGap; breaks where a gap was
    // shortened.
    void axis()
    {
        out_ += line(AxisX, Top, AxisX, layout_.endY(), "stroke=\"#57606a\"");
        double lastY = -1e9;
        const std::int64_t step = layout_.tickStepMs();
        for (std::int64_t ms = 0;; ms += step) {
            if (const double y = layout_.yAt(ms, false); y - lastY >= MinTickGap) {
                lastY = y;
                out_ += line(AxisX - 5, y, AxisX, y, "stroke=\"#57606a\"");
                out_ += line(AxisX + 1, y, layout_.width() - 16, y, "stroke=\"#eaeef2\"");
                out_ += text(AxisX - 8, y + 4,
                             "font-size=\"11\" text-anchor=\"end\" fill=\"#57606a\"",
                             std::to_string(ms / 1000) + " s");
            }
            if (layout_.endMs() - ms < step)
                break;
        }
        for (const GapBreak& gap : layout_.breaks()) {
            const double y = (gap.fromY + gap.toY) / 2;
            out_ += "<g class=\"gap\">"
                + title(secondsText(gap.ms) + " s without a piece, drawn shorter")
                + rect(AxisX - 7, y - 6, 14, 12, "fill=\"#ffffff\"")
                + line(AxisX - 7, y - 2, AxisX + 7, y - 7, "stroke=\"#57606a\"")
                + line(AxisX - 7, y + 5, AxisX + 7, y, "stroke=\"#57606a\"") + "</g>\n";
        }
    }

    void waits()
    {
        for (std::size_t k = 0; k < course_.waits.size(); ++k) {
            const CallWait& wait = course_.waits[k];
            if (wait.to >= layout_.drawn())
                continue;
            const double x = WaitsX + WaitColumn * layout_.waitColumn(k);
            const double y1 = layout_.rowY(wait.from);
            const double y2 = layout_.rowY(wait.to);
            const std::string ink = waitInk(wait.name);
            const std::string stroke = "stroke=\"" + ink + "\" stroke-width=\"2\"";
            const std::string label = std::string(wait.name) + " " + secondsText(wait.ms) + " s";
            out_ += "<g class=\"wait\">"
                + title(std::string(wait.name) + " " + exactSeconds(wait.ms)
                        + " s: " + std::string(waitMeaning(wait.name)))
                + "\n<polyline points=\"" + n(x + 6) + "," + n(y1) + " " + n(x) + "," + n(y1) + " "
                + n(x) + "," + n(y2) + " " + n(x + 6) + "," + n(y2) + "\" fill=\"none\" " + stroke
                + "/>\n"
                + text(x + 8, (y1 + y2) / 2 + 4,
                       "font-size=\"11\" font-weight=\"bold\" fill=\"" + ink + "\"", label)
                + "</g>\n";
        }
    }

    void pieces()
    {
        for (std::size_t i = 0; i < layout_.drawn(); ++i) {
            const TimelinePiece& piece = call_.pieces[i];
            const double y = layout_.rowY(i);
            const double from = piece.fromClient ? ClientX : SimulatorX;
            const double to = piece.fromClient ? SimulatorX : ClientX;
            const double head = piece.fromClient ? -9 : 9;
            const std::string who
                = piece.fromClient ? "client to simulator" : "simulator to client";
            std::string ink = piece.fromClient ? ClientInk : SimulatorInk;
            std::string label;
            std::string about;
            std::string dash;
            if (piece.changed) {
                ink = ChangeInk;
                const std::string before = piece.bytes.substr(0, 1);
                const std::string after = piece.bytes.size() > 1 ? piece.bytes.substr(1, 1) : "";
                label = "changed " + markupOfBytes(before) + " -&gt; " + markupOfBytes(after);
                about = "the line changed a character, " + who + ": " + markupOfBytes(before)
                    + " -&gt; " + markupOfBytes(after);
                dash = " stroke-dasharray=\"5,3\"";
            } else {
                label = escapedMarkup(shownBytesCut(piece.bytes, MaxLabelChars));
                about = who + ", " + std::to_string(piece.bytes.size())
                    + " bytes: " + escapedMarkup(shownBytesCut(piece.bytes, MaxTooltipChars));
            }
            out_ += std::string("<g class=\"") + (piece.changed ? "change" : "piece") + "\">"
                + title(exactSeconds(piece.atMs) + " s, " + about) + "\n"
                + text(ClientX - BandHalf - 6, y + 4,
                       std::string("font-size=\"10\" text-anchor=\"end\" fill=\"#6e7781\" "
                                   "font-family=\"")
                           + Mono + "\"",
                       exactSeconds(piece.atMs))
                + line(from, y, to + head, y, "stroke=\"" + ink + "\" stroke-width=\"1.5\"" + dash)
                + "<path d=\"M" + n(to) + " " + n(y) + " L" + n(to + head) + " " + n(y - 4.5) + " L"
                + n(to + head) + " " + n(y + 4.5) + " Z\" fill=\"" + ink + "\"/>\n"
                + "<circle cx=\"" + n(from) + "\" cy=\"" + n(y) + "\" r=\"3\" fill=\"" + ink
                + "\"/>\n"
                + text((ClientX + SimulatorX) / 2.0, y - 6,
                       "font-size=\"12\" text-anchor=\"middle\" fill=\"" + ink + "\" font-family=\""
                           + Mono + "\"",
                       label)
                + "</g>\n";
        }
    }

    void findings()
    {
        const double x = layout_.findingsX();
        for (std::size_t k = 0; k < layout_.findingsDrawn(); ++k) {
            const TimelineFinding& finding = call_.findings[k];
            const double at = layout_.yAt(finding.atMs, true);
            const double y = layout_.findingY(k);
            const std::string ink = levelInk(finding.level);
            out_ += "<g class=\"finding " + escapedMarkup(shownBytesCut(finding.level, 16)) + "\">"
                + title(markupOfBytes(finding.level) + " " + markupOfBytes(finding.rule) + " at "
                        + exactSeconds(finding.atMs) + " s: " + markupOfBytes(finding.text))
                + "\n<polyline points=\"" + n(SimulatorX + BandHalf) + "," + n(at) + " " + n(x - 16)
                + "," + n(at) + " " + n(x - 7) + "," + n(y)
                + "\" fill=\"none\" stroke-dasharray=\"2,3\" stroke=\"" + ink + "\"/>\n"
                + "<circle cx=\"" + n(x) + "\" cy=\"" + n(y) + "\" r=\"5.5\" fill=\"" + ink
                + "\"/>\n"
                + text(x + 10, y + 4, "font-size=\"11\" fill=\"" + ink + "\"",
                       escapedMarkup(shownBytesCut(finding.rule, MaxRuleChars)))
                + "</g>\n";
        }
    }

    void ending()
    {
        if (layout_.cut()) {
            const double y = layout_.noteY();
            std::string note = "transcript cut here";
            if (call_.dropped > 0)
                note += ": " + std::to_string(call_.dropped) + " bytes more were not kept";
            const std::size_t notDrawn = call_.pieces.size() - layout_.drawn();
            if (notDrawn > 0)
                note += (call_.dropped > 0 ? "; " : ": ") + std::to_string(notDrawn)
                    + " pieces more not drawn";
            const std::size_t findingsNotDrawn = call_.findings.size() - layout_.findingsDrawn();
            if (findingsNotDrawn > 0)
                note += "; " + std::to_string(findingsNotDrawn) + " findings more not drawn";
            out_ += "<g class=\"cut\">"
                + rect(ClientX - BandHalf, y - 13, SimulatorX - ClientX + 2 * BandHalf, 20,
                       "rx=\"4\" fill=\"#fff4d6\" stroke=\"#d4a72c\"")
                + text((ClientX + SimulatorX) / 2.0, y + 2,
                       "font-size=\"12\" text-anchor=\"middle\" fill=\"#7d4e00\"", note)
                + "</g>\n";
        }
        const double y = layout_.endY();
        out_ += "<g class=\"end\">"
            + line(AxisX - 6, y, SimulatorX + BandHalf, y, "stroke=\"#1f2328\" stroke-width=\"2\"")
            + text((ClientX + SimulatorX) / 2.0, y + 16,
                   "font-size=\"12\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#1f2328\"",
                   (call_.open ? "still on at " : "call ends at ") + secondsText(layout_.endMs())
                       + " s")
            + "</g>\n";
    }

    // What the colours mean, in a line under the call's end.
    void legend()
    {
        const double y = layout_.endY() + LegendBelow;
        const std::string small = "font-size=\"11\" fill=\"#57606a\"";
        double x = AxisX - 40;
        const auto sample = [&](const std::string& shape, std::string_view meaning, double width) {
            out_ += shape + text(x + 26, y + 4, small, meaning);
            x += width;
        };
        out_ += "<g class=\"legend\">";
        sample(
            line(x, y, x + 20, y, "stroke=\"" + std::string(ClientInk) + "\" stroke-width=\"2\""),
            "from the client", 130);
        sample(line(x, y, x + 20, y,
                    "stroke=\"" + std::string(SimulatorInk) + "\" stroke-width=\"2\""),
               "from the simulator", 150);
        sample(line(x, y, x + 20, y,
                    "stroke=\"" + std::string(ChangeInk)
                        + "\" stroke-width=\"2\" stroke-dasharray=\"5,3\""),
               "a character the line changed", 210);
        sample(rect(x + 4, y - 6, 14, 12, "fill=\"#d6e6fb\""), "the terminal has the line", 190);
        sample(rect(x + 4, y - 6, 14, 12, "fill=\"#f1f1ef\" stroke=\"#d0d7de\""), "the modem", 100);
        out_ += "</g>\n";
    }

    const CallTimeline& call_;
    const CallCourse& course_;
    const Layout& layout_;
    std::string out_;
};

} // namespace

std::string timelineSvg(const CallTimeline& call)
{
    const CallCourse course = callCourse(call.pieces);
    const timeline::Layout layout(call, course);
    return Drawing(call, course, layout).draw();
}

} // namespace ostrella
