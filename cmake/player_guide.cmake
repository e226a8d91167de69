# Makes player-guide.html from the guide's Markdown: the body is the
# distribution's renderer's (cmark-gfm with its table extension); this only
# puts it into a page of its own, with the guide's first heading as its title,
# so a double-click opens it in any browser.
#   cmake -DRENDERER=cmark-gfm -DINPUT=player-guide.md -DOUTPUT=player-guide.html -P player_guide.cmake

cmake_minimum_required(VERSION 3.25)

execute_process(
  COMMAND "${RENDERER}" --extension table --to html "${INPUT}"
  RESULT_VARIABLE result OUTPUT_VARIABLE body ERROR_VARIABLE error)
if(NOT result EQUAL 0 OR body STREQUAL "")
  message(FATAL_ERROR "${RENDERER} could not render ${INPUT} (${result}): ${error}")
endif()
# The renderer has already escaped the heading's text.
string(REGEX MATCH "<h1>([^<]*)</h1>" heading "${body}")
set(title "${CMAKE_MATCH_1}")

file(WRITE "${OUTPUT}" "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>${title}</title>
<style>
body { font-family: sans-serif; max-width: 50em; margin: 2em auto; padding: 0 1em; line-height: 1.5; }
code, pre { font-family: Consolas, monospace; background: #f2f2f2; }
pre { padding: 0.5em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.5em; text-align: left; vertical-align: top; }
</style>
</head>
<body>
${body}</body>
</html>
")
