#!/usr/bin/env bash
# Each library includes only the libraries it may use: maps every #include "<folder>/..." in
# src/ to the folders its own library lists below. The list is the libraries' order, lowest
# first, and each may name only folders above it in the list, so that the folders' includes
# can never climb up or close a circle. The editor kernel is a boundary of its own: outside
# src/editor/kernel (and its own tests) only its public header ek.h is included.
#
# The build runs this before it compiles any library (CMakeLists.txt), and ctest runs it too.
# Every fault is one line: "layering: FILE includes HEADER (FOLDER may not use FOLDER)".
set -u
root=${1:-.}
cd "$root" || exit 2

rules='
shared: shared
options: shared options
projectfiles: shared projectfiles
build/engine: shared build/engine
build/compilers: shared build/engine build/compilers
editor/kernel: shared editor/kernel
editor/buffers: shared editor/kernel editor/buffers
editor/keyboard: shared editor/kernel editor/buffers editor/keyboard
editor/language: shared options editor/kernel editor/buffers editor/keyboard editor/language
modules: shared options editor/kernel editor/buffers modules
build/messages: shared options editor/kernel editor/buffers modules build/messages
projects: shared options projectfiles editor/kernel editor/buffers modules projects
build: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers modules build/messages projects build
debugger: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers modules build/messages projects build debugger
environment: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers modules build/messages projects build debugger environment
packages: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers editor/keyboard editor/language modules build/messages projects build debugger environment packages
startup: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers editor/keyboard editor/language modules build/messages projects build debugger environment packages startup
lsp: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers editor/keyboard editor/language modules build/messages projects build debugger environment lsp
dap: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers editor/keyboard editor/language modules build/messages projects build debugger environment lsp dap
script: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers editor/keyboard editor/language modules build/messages projects build debugger environment script
terminal: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers editor/keyboard editor/language modules build/messages projects build debugger environment script terminal
host: shared options projectfiles build/engine build/compilers editor/kernel editor/buffers editor/keyboard editor/language modules build/messages projects build debugger environment packages startup lsp dap script terminal host
'

# Every quoted include of every source, header and table as "FILE:#include "HEADER"".
find src tests -name '*.h' -o -name '*.cpp' -o -name '*.def' | LC_ALL=C sort | xargs -r grep -H '^#include "' |
  awk -v rules="$rules" '
    BEGIN {
      n = split(rules, lines, "\n")
      for (i = 1; i <= n; i++) {
        if (lines[i] == "") continue
        split(lines[i], parts, ": ")
        folder = parts[1]
        count = split(parts[2], uses, " ")
        for (j = 1; j <= count; j++) {
          if (!(uses[j] in order) && uses[j] != folder) {
            printf "layering: the rule of %s names %s, which is not below it\n", folder, uses[j]
            bad = 1
          }
          allowed[folder, uses[j]] = 1
        }
        if (!(folder in allowed_self)) order[folder] = ++levels
        allowed_self[folder] = 1
      }
    }
    # The folder a path below src/ belongs to: the longest one that prefixes it.
    function folder_of(path,    f, best) {
      best = ""
      for (f in order)
        if (index(path, f "/") == 1 && length(f) > length(best)) best = f
      return best
    }
    {
      colon = index($0, ":")
      file = substr($0, 1, colon - 1)
      line = substr($0, colon + 1)
      if (!match(line, /"[^"]*"/)) next
      inc = substr(line, RSTART + 1, RLENGTH - 2)
      if (inc ~ /^editor\/kernel\// && inc != "editor/kernel/ek.h" &&
          file !~ /^(src|tests)\/editor\/kernel\//) {
        print "layering: " file " includes " inc " (only editor/kernel/ek.h is the kernel'"'"'s public header)"
        bad = 1
      }
      if (index(file, "src/") != 1) next
      rel = substr(file, 5)
      own = folder_of(rel)
      if (own == "") {
        if (!(file in homeless)) print "layering: " file " is in no library'"'"'s folder"
        homeless[file] = 1
        bad = 1
        next
      }
      target = folder_of(inc)
      if (target == "" || ((own, target) in allowed)) next
      print "layering: " file " includes " inc " (" own " may not use " target ")"
      bad = 1
    }
    END { exit bad }
  '
