// SPDX-License-Identifier: MIT
// libFuzzer target over the control API's reading of requests: the input is what one connection
// sends. The request scanner reads it whole, then again cut at a point the input chooses and one
// byte at a time; all three readings must agree (requests complete, the refusal, where the
// connection closes). What follows the last head is then read as a JSON body, as the API reads a
// PUT's, with Qt's parser (deep nesting, invalid UTF-8 and all).
#include "api/RequestScanner.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

using ostrella::api::RequestScanner;

struct Reading {
    std::uint64_t complete;
    int refusal;
    std::uint64_t closeAfter;
    bool midRequest;

    bool operator==(const Reading&) const = default;
};

Reading readingOf(const RequestScanner& scanner)
{
    return { scanner.complete(), scanner.refusal().status, scanner.closeAfter(),
             scanner.midRequest() };
}

void check(bool ok, const char* what)
{
    if (ok)
        return;
    std::fprintf(stderr, "api fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const RequestScanner::Limits limits { 2048, 20, 4096 };

    RequestScanner whole(limits);
    whole.feed(input);
    const Reading once = readingOf(whole);
    check(once.refusal == 0 || !whole.refusal().reason.empty(), "a refusal without a reason");
    check(once.closeAfter <= once.complete, "closing after a request that is not complete");

    const std::size_t cut = size == 0 ? 0 : (static_cast<std::size_t>(data[0]) * 257) % size;
    RequestScanner twice(limits);
    twice.feed(input.substr(0, cut));
    twice.feed(input.substr(cut));
    check(readingOf(twice) == once, "two pieces read otherwise than one");

    RequestScanner bytes(limits);
    for (const char c : input)
        bytes.feed(std::string_view(&c, 1));
    check(readingOf(bytes) == once, "byte by byte read otherwise than at once");

    const std::size_t head = input.rfind("\r\n\r\n");
    const std::string_view body = head == std::string_view::npos ? input : input.substr(head + 4);
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(body.data(), static_cast<qsizetype>(body.size())), &error);
    if (error.error == QJsonParseError::NoError)
        (void)document.toJson(QJsonDocument::Compact);
    return 0;
}
