# Turns the player guide's Markdown into one HTML page, so a Windows player
# opens it with a double-click and reads it without the marks. Understands the
# little the guide uses: headings (#, ##, ###), paragraphs, "- " lists with
# indented continuation lines, tables (header row, separator row, "\|" inside a
# cell), fenced code blocks, `code`, **bold** and *italic*.
#   cmake -DINPUT=player-guide.md -DOUTPUT=player-guide.html -P markdown_to_html.cmake

cmake_minimum_required(VERSION 3.25)

file(READ "${INPUT}" text)
string(REPLACE "\r" "" text "${text}")
# CMake lists split at ";" and keep "[...]" together: both are put aside and
# come back at the end, as is a "\|" that belongs inside a table cell.
string(ASCII 1 semicolon)
string(ASCII 2 open_bracket)
string(ASCII 3 close_bracket)
string(ASCII 4 pipe)
string(REPLACE ";" "${semicolon}" text "${text}")
string(REPLACE "[" "${open_bracket}" text "${text}")
string(REPLACE "]" "${close_bracket}" text "${text}")
string(REPLACE "\\|" "${pipe}" text "${text}")
string(REPLACE "&" "&amp;" text "${text}")
string(REPLACE "<" "&lt;" text "${text}")
string(REPLACE ">" "&gt;" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

# The inline marks of one piece of text.
function(inline out piece)
  string(REGEX REPLACE "`([^`]*)`" "<code>\\1</code>" piece "${piece}")
  string(REGEX REPLACE "\\*\\*([^*]+)\\*\\*" "<strong>\\1</strong>" piece "${piece}")
  string(REGEX REPLACE "\\*([^*]+)\\*" "<em>\\1</em>" piece "${piece}")
  set(${out} "${piece}" PARENT_SCOPE)
endfunction()

# One table row's cells, each in `tag`.
function(table_row out row tag)
  string(REGEX REPLACE "^\\|(.*)\\|$" "\\1" row "${row}")
  string(REPLACE "|" ";" cells "${row}")
  set(html "<tr>")
  foreach(cell IN LISTS cells)
    string(STRIP "${cell}" cell)
    inline(cell "${cell}")
    string(APPEND html "<${tag}>${cell}</${tag}>")
  endforeach()
  set(${out} "${html}</tr>\n" PARENT_SCOPE)
endfunction()

set(body "")
set(block "")  # the open block: p, ul, table or pre
set(pending "")  # the open paragraph's or list item's text: marks may span its lines
set(title "")
# Ends the open paragraph or list item.
macro(flush_text)
  inline(pending "${pending}")
  string(APPEND body "${pending}")
  set(pending "")
endmacro()
# Ends the open block.
macro(close_block)
  flush_text()
  if(block STREQUAL "p")
    string(APPEND body "</p>\n")
  elseif(block STREQUAL "ul")
    string(APPEND body "</li></ul>\n")
  elseif(block STREQUAL "table")
    string(APPEND body "</table>\n")
  endif()
  set(block "")
endmacro()

foreach(line IN LISTS lines)
  if(block STREQUAL "pre")
    if(line MATCHES "^```")
      string(APPEND body "</pre>\n")
      set(block "")
    else()
      string(APPEND body "${line}\n")
    endif()
  elseif(line MATCHES "^```")
    close_block()
    string(APPEND body "<pre>")
    set(block "pre")
  elseif(line STREQUAL "")
    close_block()
  elseif(line MATCHES "^(#+) (.*)$")
    close_block()
    string(LENGTH "${CMAKE_MATCH_1}" level)
    inline(heading "${CMAKE_MATCH_2}")
    if(title STREQUAL "")
      set(title "${CMAKE_MATCH_2}")
    endif()
    string(APPEND body "<h${level}>${heading}</h${level}>\n")
  elseif(line MATCHES "^- (.*)$")
    set(item "${CMAKE_MATCH_1}")
    if(block STREQUAL "ul")
      flush_text()
      string(APPEND body "</li>\n<li>")
    else()
      close_block()
      string(APPEND body "<ul>\n<li>")
      set(block "ul")
    endif()
    set(pending "${item}")
  elseif(line MATCHES "^\\|")
    if(line MATCHES "^\\|[-| :]+\\|$")
      # The separator under the header row.
    elseif(block STREQUAL "table")
      table_row(row "${line}" td)
      string(APPEND body "${row}")
    else()
      close_block()
      table_row(row "${line}" th)
      string(APPEND body "<table>\n${row}")
      set(block "table")
    endif()
  elseif(block STREQUAL "ul" OR block STREQUAL "p")
    string(STRIP "${line}" line)
    string(APPEND pending "\n${line}")
  else()
    close_block()
    string(APPEND body "<p>")
    set(pending "${line}")
    set(block "p")
  endif()
endforeach()
close_block()

set(page "<!DOCTYPE html>
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
string(REPLACE "${semicolon}" ";" page "${page}")
string(REPLACE "${open_bracket}" "[" page "${page}")
string(REPLACE "${close_bracket}" "]" page "${page}")
string(REPLACE "${pipe}" "|" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
