#!/usr/bin/env bash
# Runs the links probe on the fixture pages of this folder and compares its
# exact output and exit codes.
# Usage: links_test.sh PATH_TO_TESSELLON_CLI FIXTURE_DIR
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 TESSELLON_CLI FIXTURE_DIR" >&2
    exit 2
fi
CLI=$1
DIR=$2
passed=0
failed=0

# expect_output NAME EXPECTED ARGS... : the probe must exit 0 and print EXPECTED.
expect_output() {
    local name=$1 expected=$2
    shift 2
    local actual rc
    actual=$("$CLI" links "$@" 2>/dev/null)
    rc=$?
    if [ $rc -eq 0 ] && [ "$actual" == "$expected" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $name (exit $rc)"
        diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed 's/^/    /'
    fi
}

# expect_exit NAME CODE ARGS... : the probe must exit with CODE and say why on stderr.
expect_exit() {
    local name=$1 want=$2
    shift 2
    local err rc
    err=$("$CLI" "$@" 2>&1 >/dev/null)
    rc=$?
    if [ $rc -eq "$want" ] && [ -n "$err" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $name: exit $rc, wanted $want; stderr: ${err:-<empty>}"
    fi
}

EDGE=$DIR/edge_links.html
ATTRS=$DIR/attributes.html
FILTERS=$DIR/filters.html

expect_output "scripts, mail, empty values, hosts and a base on a secure page, with head tags" \
'META;"TITLE";"TITLE";"Edge cases";"";"";"";""
META;"META";"HTTP-EQUIV";"refresh";"CONTENT";"5; URL=next.html";"";""
META;"META";"NAME";"author";"CONTENT";"Jo";"";""
"jpg";"https://www.h.com/my%20pics/pic.jpg"
"htm";"https://www.h.com/my%20pics/javascript-guide.html"
"htm";"https://www.h.com/learn-javascript/pics/"
"mail";"jo@h.com"
"htm";"https://www.h.com/share?to=mailto:a@b"
"jpg";"https://www.h.com/my%20pics/thumb.jpg"
"jpg";"https://www.h.com/my%20pics/photo.jpeg"
"gif";"https://cdn.h.com/c.gif"
"png";"http://localhost/x.png"
"jpg";"https://www.h.com/my%20pics/before.jpg"
"htm";"https://www.h.com/other/"
"jpg";"https://www.h.com/other/later.jpg"' \
    "$EDGE" --url 'https://www.h.com/my%20pics/index.html' --meta

expect_output "same page on a plain http address with a port" \
'"jpg";"http://www.h.com:8080/my%20pics/pic.jpg"
"htm";"http://www.h.com:8080/my%20pics/javascript-guide.html"
"htm";"http://www.h.com:8080/learn-javascript/pics/"
"mail";"jo@h.com"
"htm";"http://www.h.com:8080/share?to=mailto:a@b"
"jpg";"http://www.h.com:8080/my%20pics/thumb.jpg"
"jpg";"http://www.h.com:8080/my%20pics/photo.jpeg"
"gif";"http://cdn.h.com/c.gif"
"png";"http://localhost/x.png"
"jpg";"http://www.h.com:8080/my%20pics/before.jpg"
"htm";"http://www.h.com:8080/other/"
"jpg";"http://www.h.com:8080/other/later.jpg"' \
    "$EDGE" --url 'http://www.h.com:8080/my%20pics/index.html'

expect_output "attributes with counted areas" \
'"jpg";"http://www.h.com/g/big1.jpg";"H";"1"
"jpg";"http://www.h.com/g/small1.jpg";"S";"1"
"htm";"http://www.h.com/g/page2.htm";"H";"0"
"jpg";"http://www.h.com/g/big2.jpg";"H";"3"
"jpg";"http://www.h.com/g/small2.jpg";"S";"3"
"jpg";"http://www.h.com/pics/v.jpg";" ";"0"
"htm";"http://www.h.com/g/index.htm";"H";"0"
"jpg";"http://www.h.com/g/pop.jpg";"H";"0"' \
    "$ATTRS" --url http://www.h.com/g/index.htm --attributes --areas

expect_output "attributes without counted areas" \
'"jpg";"http://www.h.com/g/big1.jpg";"H";"0"
"jpg";"http://www.h.com/g/small1.jpg";"S";"0"
"htm";"http://www.h.com/g/page2.htm";"H";"0"
"jpg";"http://www.h.com/g/big2.jpg";"H";"0"
"jpg";"http://www.h.com/g/small2.jpg";"S";"0"
"jpg";"http://www.h.com/pics/v.jpg";" ";"0"
"htm";"http://www.h.com/g/index.htm";"H";"0"
"jpg";"http://www.h.com/g/pop.jpg";"H";"0"' \
    "$ATTRS" --url http://www.h.com/g/index.htm --attributes

expect_output "no filter" \
'"htm";"http://www.a.com/gallery/one.htm"
"jpg";"http://pics.a.com/gallery/Counter.jpg"
"htm";"http://b.com/gallery/two.htm"
"mail";"gallery@b.com"
"mail";"jo@b.com"
"gif";"http://www.a.com/stats/x.gif"
"gif";"http://www.a.com/ok.gif"' \
    "$FILTERS" --url http://www.a.com/index.htm

expect_output "default filter words" \
'"htm";"http://www.a.com/gallery/one.htm"
"htm";"http://b.com/gallery/two.htm"
"mail";"gallery@b.com"
"mail";"jo@b.com"
"gif";"http://www.a.com/ok.gif"' \
    "$FILTERS" --filter --url http://www.a.com/index.htm

expect_output "own filter words" \
'"htm";"http://www.a.com/gallery/one.htm"
"jpg";"http://pics.a.com/gallery/Counter.jpg"
"mail";"gallery@b.com"
"gif";"http://www.a.com/stats/x.gif"
"gif";"http://www.a.com/ok.gif"' \
    "$FILTERS" --url http://www.a.com/index.htm --filter TWO,jo@

expect_output "limiter, mail links included" \
'"htm";"http://www.a.com/gallery/one.htm"
"jpg";"http://pics.a.com/gallery/Counter.jpg"
"htm";"http://b.com/gallery/two.htm"
"mail";"gallery@b.com"' \
    "$FILTERS" --url http://www.a.com/index.htm --limiter gallery

expect_output "external links hidden, mail kept" \
'"htm";"http://www.a.com/gallery/one.htm"
"jpg";"http://pics.a.com/gallery/Counter.jpg"
"mail";"gallery@b.com"
"mail";"jo@b.com"
"gif";"http://www.a.com/stats/x.gif"
"gif";"http://www.a.com/ok.gif"' \
    "$FILTERS" --url http://www.a.com/index.htm --no-external

# Responsive and lazy-loaded pictures: only the plain SRC without the option;
# with it every candidate, the lazy and preview pictures, and the unlinked
# IMG paired with its largest candidate.
MODERN=$DIR/modern.html
expect_output "today's markup ignored by default" \
'"jpg";"http://g.example/pics/small.jpg"' \
    "$MODERN" --url http://g.example/gallery/index.html

expect_output "today's markup read with --modern-markup" \
'"jpg";"http://g.example/share/cover.jpg";"S";"0"
"jpg";"http://g.example/pics/large.jpg";"H";"1"
"webp";"http://g.example/pics/wide.webp";"S";"1"
"webp";"http://g.example/pics/narrow.webp";"S";"1"
"jpg";"http://g.example/pics/small.jpg";"S";"1"
"jpg";"http://g.example/pics/lazy.jpg";"S";"0"' \
    "$MODERN" --url http://g.example/gallery/index.html --modern-markup --areas --attributes

expect_exit "no command" 2
expect_exit "no FILE" 2 links
expect_exit "missing --url" 2 links "$FILTERS"
expect_exit "--url without value" 2 links "$FILTERS" --url
expect_exit "unknown option" 2 links "$FILTERS" --url http://a.com/ --bogus
expect_exit "two files" 2 links "$FILTERS" "$ATTRS" --url http://a.com/
expect_exit "invalid page address" 2 links "$FILTERS" --url not-a-url
expect_exit "missing file" 1 links "$DIR/no-such-page.html" --url http://a.com/
expect_exit "folder instead of file" 1 links "$DIR" --url http://a.com/

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
