#!/usr/bin/env bash
# Each library includes only the libraries below it: maps every #include "<folder>/..." in
# src/ to the folders its own library may use. The editor kernel is a boundary of its own:
# outside src/editor/kernel (and its own tests) only its public header ek.h is included.
set -u
root=$1
declare -A allowed=(
  [shared]="shared"
  [options]="shared options"
  [projectfiles]="shared projectfiles"
  [build/engine]="shared build/engine"
  [build/compilers]="shared build/engine build/compilers"
  [editor/kernel]="shared editor/kernel"
  [editor]="shared options editor/kernel editor"
  [modules]="shared options editor/kernel editor modules"
  [build/messages]="shared options editor/kernel editor modules build/messages"
  [projects]="shared options projectfiles editor/kernel editor modules projects"
  [build]="shared options projectfiles build/engine build/compilers editor/kernel editor modules build/messages projects build"
  [environment]="shared options projectfiles build/engine build/compilers editor/kernel editor modules build/messages projects build environment"
  [startup]="shared options projectfiles build/engine build/compilers editor/kernel editor modules build/messages projects build environment startup"
)
# The folder of a file: the longest key that prefixes its path below src/.
folder_of() {
  local rel=$1 best=""
  for k in "${!allowed[@]}"; do
    case "$rel" in "$k"/*) [ ${#k} -gt ${#best} ] && best=$k ;; esac
  done
  echo "$best"
}
status=0
while IFS= read -r file; do
  rel=${file#"$root"/src/}
  own=$(folder_of "$rel")
  [ -n "$own" ] || continue
  while IFS= read -r inc; do
    target=$(folder_of "$inc")
    [ -n "$target" ] || continue
    ok=0
    for a in ${allowed[$own]}; do [ "$a" = "$target" ] && ok=1; done
    if [ $ok = 0 ]; then
      echo "layering: $rel includes $inc ($own may not use $target)"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find "$root/src" -name '*.h' -o -name '*.cpp')
# The kernel's boundary: its inner headers stay inside it.
while IFS= read -r file; do
  rel=${file#"$root"/}
  case "$rel" in src/editor/kernel/* | tests/editor/kernel/*) continue ;; esac
  while IFS= read -r inc; do
    case "$inc" in
      editor/kernel/ek.h) ;;
      editor/kernel/*)
        echo "layering: $rel includes $inc (only editor/kernel/ek.h is the kernel's public header)"
        status=1
        ;;
    esac
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find "$root/src" "$root/tests" -name '*.h' -o -name '*.cpp')
exit $status
