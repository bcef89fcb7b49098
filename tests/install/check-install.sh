#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR (prefix /usr, as the .deb does)
# and checks what a desktop and its tools will read there: the exact tree, the
# icon sizes, the installed programs, the desktop entry and the metainfo
# against their validators, and that every command and option quenloft-cli
# --help lists is in its man page and offered by its bash completion (and
# named in the zsh and fish ones). The option lists come from --help at test
# time, so a new option without documentation fails here.
#
#   check-install.sh BUILD_DIR APP_ID HOMEPAGE
set -uo pipefail

build=$1
id=$2
homepage=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! DESTDIR=$stage cmake --install "$build" --prefix /usr >"$stage.log" 2>&1; then
  cat "$stage.log" >&2
  rm -f "$stage.log"
  echo "FAIL: cmake --install" >&2
  exit 1
fi
rm -f "$stage.log"
root=$stage/usr

# --- the tree ------------------------------------------------------------------
expected=(
  bin/quenloft
  bin/quenloft-cli
  libexec/quenloft/quenloft-movie
  libexec/quenloft/quenloft-draw
  share/applications/$id.desktop
  share/metainfo/$id.metainfo.xml
  share/icons/hicolor/scalable/apps/$id.svg
  share/man/man1/quenloft.1.gz
  share/man/man1/quenloft-cli.1.gz
  share/bash-completion/completions/quenloft-cli
  share/zsh/vendor-completions/_quenloft-cli
  share/fish/vendor_completions.d/quenloft-cli.fish
  share/doc/quenloft/copyright
)
sizes=(16 22 24 32 48 64 128 256)
for n in "${sizes[@]}"; do
  expected+=("share/icons/hicolor/${n}x$n/apps/$id.png")
done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$stage" && find . -type f -printf '%P\n' | sed 's|^usr/||' | sort) ||
  fail "the installed tree differs from the expected one (< expected, > installed)"
[ -z "$(find "$stage" -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files outside the prefix"

for program in bin/quenloft bin/quenloft-cli libexec/quenloft/quenloft-movie libexec/quenloft/quenloft-draw; do
  [ -x "$root/$program" ] || fail "$program is not executable"
done
for n in "${sizes[@]}"; do
  file "$root/share/icons/hicolor/${n}x$n/apps/$id.png" | grep -q "PNG image data, $n x $n," ||
    fail "the ${n}x$n icon is not a $n x $n PNG"
done
grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/$id.svg" || fail "the scalable icon is no SVG"

# --- the installed programs -------------------------------------------------------
cli=$root/bin/quenloft-cli
version=$("$cli" --version) || fail "quenloft-cli --version failed"
[[ $version =~ ^quenloft-cli\ ([0-9]+\.[0-9]+\.[0-9]+)(\.[0-9]+)?$ ]] || fail "quenloft-cli --version printed '$version'"
release=${BASH_REMATCH[1]:-}
help=$("$cli" --help) || fail "quenloft-cli --help failed"
# The commands quenloft-cli hands to the programs in libexec reach them
# from the installed place (their help is theirs).
for command in info render; do
  "$cli" "$command" --help | grep -q "Usage: quenloft-cli $command" || fail "quenloft-cli $command --help"
done
[[ $help == *"Usage: quenloft-cli"* ]] || fail "quenloft-cli --help printed no usage"
# The window program answers these without a display.
window_version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/quenloft" --version) || fail "quenloft --version failed"
[ "$window_version" = "quenloft ${version#quenloft-cli }" ] || fail "quenloft --version printed '$window_version'"
env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/quenloft" --help | grep -q 'quenloft \[URL\]' || fail "quenloft --help"

# --- desktop entry and metainfo -----------------------------------------------------
desktop=$root/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate $id.desktop"
for line in 'Name=Quenloft' 'Exec=quenloft %u' 'Categories=Network;FileTransfer;' "Icon=$id" 'Type=Application'; do
  grep -qxF "$line" "$desktop" || fail "the desktop entry lacks '$line'"
done
metainfo=$root/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate --no-net $id.metainfo.xml"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the metainfo names another desktop entry"
# The newest release (the first listed) is the version being installed.
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
[ "$newest" = "$release" ] || fail "the metainfo's newest release is '$newest', the programs are $release"

grep -qF "<project_license>MIT</project_license>" "$metainfo" || fail "the metainfo names no project licence MIT"
grep -qF "<url type=\"homepage\">$homepage</url>" "$metainfo" || fail "the metainfo's home page is not $homepage"
grep -qF "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"

# --- licence -------------------------------------------------------------------------
copyright=$root/share/doc/quenloft/copyright
grep -qx 'License: MIT' "$copyright" || fail "the copyright file does not give our licence"
# Every library an installed program links is named with its licence
# (the sanitizers' run-time libraries of a test build are no part of a package).
for program in bin/quenloft bin/quenloft-cli libexec/quenloft/quenloft-movie libexec/quenloft/quenloft-draw; do
  while read -r soname; do
    case $soname in
      libasan.* | libubsan.* | libtsan.* | liblsan.*) continue ;;
      libQt6*) pattern='libQt6*' ;;
      *) pattern=$soname ;;
    esac
    grep -qF -- "$pattern" "$copyright" || fail "$program links $soname, which the copyright file does not name"
  done < <(objdump -p "$root/$program" | awk '$1 == "NEEDED" { print $2 }')
done
for file in share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
  share/bash-completion/completions/quenloft-cli share/fish/vendor_completions.d/quenloft-cli.fish \
  share/zsh/vendor-completions/_quenloft-cli; do
  grep -q 'SPDX-License-Identifier: ' "$root/$file" || fail "$file has no SPDX line"
done

# --- man pages and completion against --help ----------------------------------------
# The commands listed under "Subcommands:" and the option names of a help text.
commands_of() { awk '/^Subcommands:/ { on = 1; next } /^[^ ]/ { on = 0 } on && /^  [a-z]/ { print $1 }'; }
options_of() {
  awk '/^Options:/ { on = 1; next } /^[^ ]/ { on = 0 } on && /^  -/ { print $1 }' |
    tr ',' '\n' | grep -oE '^--?[A-Za-z0-9][-A-Za-z0-9]*'
}
# The roff text with hyphens and font changes plain.
page_text() { zcat "$1" | sed -e 's/\\&//g' -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(aq/'"'"'/g'; }
has_word() { grep -qE -- "(^|[^-[:alnum:]])$1([^-[:alnum:]]|\$)"; }

cli_page=$(page_text "$root/share/man/man1/quenloft-cli.1.gz") || fail "quenloft-cli.1.gz is no gzip file"
window_page=$(page_text "$root/share/man/man1/quenloft.1.gz") || fail "quenloft.1.gz is no gzip file"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' FILES EXAMPLES; do
  grep -q "^\.SH $section" <<<"$cli_page" || fail "quenloft-cli(1) has no $section section"
  grep -q "^\.SH $section" <<<"$window_page" || fail "quenloft(1) has no $section section"
done
for file_name in quenloft-trace Quenloft/registry.ini; do
  grep -qF "$file_name" <<<"$window_page" || fail "quenloft(1) does not name $file_name"
done
grep -qF 'Downloaded SWF Files/' <<<"$window_page" || fail "quenloft(1) does not say where the output folder defaults"

# What the bash completion offers after the words "$@" and a "-".
bash_offers() {
  bash -c 'source "$1"; shift; COMP_WORDS=(quenloft-cli "$@" -); COMP_CWORD=$(($# + 1)); _quenloft_cli
           printf "%s\n" "${COMPREPLY[@]}"' _ "$root/share/bash-completion/completions/quenloft-cli" "$@"
}
bash_commands() {
  bash -c 'source "$1"; COMP_WORDS=(quenloft-cli ""); COMP_CWORD=1; _quenloft_cli
           printf "%s\n" "${COMPREPLY[@]}"' _ "$root/share/bash-completion/completions/quenloft-cli"
}
zsh_file=$root/share/zsh/vendor-completions/_quenloft-cli
fish_file=$root/share/fish/vendor_completions.d/quenloft-cli.fish

check_options() { # $1: the command ("" for none); stdin: its help text
  local command=$1 offered option
  offered=$(bash_offers ${command:+"$command"})
  while read -r option; do
    local where="quenloft-cli ${command:+$command }$option"
    has_word "$option" <<<"$cli_page" || fail "$where is not in the man page"
    grep -qxF -- "$option" <<<"$offered" || fail "$where is not offered by the bash completion"
    grep -qF -- "${option%%=*}" "$zsh_file" || fail "$where is not in the zsh completion"
    if [[ $option == --* ]]; then
      grep -qE -- "-l ${option#--}( |\$)" "$fish_file" || fail "$where is not in the fish completion"
    else
      grep -qE -- "-s ${option#-}( |\$)" "$fish_file" || fail "$where is not in the fish completion"
    fi
  done < <(options_of)
}

check_options "" <<<"$help"
commands=$(commands_of <<<"$help")
[ -n "$commands" ] || fail "quenloft-cli --help lists no commands"
offered_commands=$(bash_commands)
for command in $commands; do
  has_word "$command" <<<"$cli_page" || fail "the command $command is not in the man page"
  grep -qxF "$command" <<<"$offered_commands" || fail "the command $command is not offered by the bash completion"
  grep -qE "^ *'?$command:" "$zsh_file" || fail "the command $command is not in the zsh completion"
  grep -qE -- "-a $command " "$fish_file" || fail "the command $command is not in the fish completion"
  check_options "$command" < <("$cli" "$command" --help)
done

if command -v zsh >/dev/null; then
  zsh -n "$zsh_file" || fail "the zsh completion does not parse"
fi
if command -v fish >/dev/null; then
  fish --no-execute "$fish_file" || fail "the fish completion does not parse"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed tree, programs, desktop entry, metainfo, man pages and completions: all checks passed"
