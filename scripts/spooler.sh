#!/usr/bin/env bash
# A private CUPS spooler whose default queue "PDF" prints through cups-pdf into a folder, so
# tests and the demo can print for real and read the pages back.
#   spooler.sh start DIR     start cupsd with its state in DIR (stopping one left there first)
#   spooler.sh stop DIR      stop it; the PDFs stay in DIR/out
#   spooler.sh env DIR       print CUPS_SERVER=...: a process given it sees this spooler only
#   spooler.sh clear DIR     empty DIR/out (cups-pdf names each file after its job)
#   spooler.sh wait DIR [N] [SECONDS]
#                            wait until the queue is empty and DIR/out holds N PDFs (1 by
#                            default, 30 s at most); print their paths, oldest first
# Each DIR is its own spooler on its own socket, so several can run on one machine beside the
# system's own cupsd. Needs root (cupsd runs the cups-pdf back end as root) and the packages
# cups, printer-driver-cups-pdf and poppler-utils.
set -euo pipefail

die() { echo "spooler: $*" >&2; exit 1; }
[[ $# -ge 2 ]] || die "usage: spooler.sh start|stop|env|clear|wait DIR [N] [SECONDS]"
cmd=$1
# The folder names the spooler as given (made absolute, not resolved), so that a build system
# can work out the same socket name: /tmp/qx-cups-<first 12 hex digits of md5(DIR)>.sock.
dir=$2
[[ "$dir" == /* ]] || dir="$PWD/$dir"
[[ "$dir" == / ]] || dir=${dir%/}
mkdir -p "$dir"
# A socket path must stay under 108 bytes, wherever the build folder lies.
sock=/tmp/qx-cups-$(printf '%s' "$dir" | md5sum | cut -c1-12).sock
# cups-pdf reads the settings of queue URI cups-pdf:/NAME from /etc/cups/cups-pdf-NAME.conf.
tag=qx$(printf '%s' "$dir" | md5sum | cut -c1-12)
pdfconf=/etc/cups/cups-pdf-$tag.conf

# In the C locale: the answers are matched as English text, and the Wine tests run under zh_CN.
lp() { CUPS_SERVER=$sock LC_ALL=C LANG=C "$@"; }

stop() {
  if [[ -f "$dir/cupsd.pid" ]]; then
    local pid
    pid=$(cat "$dir/cupsd.pid")
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
      kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/cupsd.pid"
  fi
  rm -f "$sock" "$pdfconf"
}

start() {
  command -v cupsd >/dev/null || die "cupsd is not installed"
  [[ -x /usr/lib/cups/backend/cups-pdf ]] || die "cups-pdf is not installed"
  stop
  rm -rf "$dir/etc" "$dir/spool" "$dir/cache" "$dir/state" "$dir/log"
  mkdir -p "$dir/etc/ppd" "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/out"
  # Filters run as lp: the spool and cache must be open to it.
  chgrp lp "$dir/spool" "$dir/spool/tmp" "$dir/cache" "$dir/state"
  chmod 0770 "$dir/spool" "$dir/cache" "$dir/state"
  chmod 1770 "$dir/spool/tmp"
  chmod 0755 "$dir/out"
  cat > "$dir/etc/cups-files.conf" <<EOF
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
User lp
Group lp
SystemGroup root
EOF
  cat > "$dir/etc/cupsd.conf" <<EOF
Listen $sock
LogLevel warn
Browsing No
WebInterface No
DefaultAuthType None
MaxJobs 0
PreserveJobHistory No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  cat > "$pdfconf" <<EOF
Out $dir/out
Grp lp
DecodeHexStrings 1
EOF
  setsid cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" \
    </dev/null >>"$dir/log/cupsd.out" 2>&1 &
  echo $! > "$dir/cupsd.pid"
  local ok=
  for _ in $(seq 200); do
    if lp lpstat -r 2>/dev/null | grep -q 'is running'; then ok=1; break; fi
    kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null || break
    sleep 0.05
  done
  [[ -n "$ok" ]] || { cat "$dir/log/cupsd.out" "$dir/log/error_log" 2>/dev/null >&2; stop; die "cupsd did not start"; }
  lp lpadmin -p PDF -E -v "cups-pdf:/$tag" -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
  lp lpadmin -d PDF
}

pdfs() { find "$dir/out" -maxdepth 1 -name '*.pdf' -printf '%T@ %p\n' | sort -n | cut -d' ' -f2-; }

wait_pdfs() {
  local want=${1:-1} secs=${2:-30} n
  local end=$((SECONDS + secs))
  while ((SECONDS < end)); do
    n=$(pdfs | wc -l)
    if ((n >= want)) && [[ -z "$(lp lpstat -o 2>/dev/null)" ]]; then
      # cups-pdf writes the file before its job leaves the queue; a short settle keeps a
      # reader from seeing a file still being closed.
      sleep 0.2
      pdfs
      return 0
    fi
    sleep 0.1
  done
  echo "spooler: $(pdfs | wc -l) of $want PDF(s) after ${secs}s" >&2
  lp lpstat -o >&2 2>/dev/null || true
  tail -n 20 "$dir/log/error_log" >&2 2>/dev/null || true
  return 1
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  env) echo "CUPS_SERVER=$sock" ;;
  clear) mkdir -p "$dir/out"; find "$dir/out" -mindepth 1 -delete ;;
  wait) wait_pdfs "${3:-1}" "${4:-30}" ;;
  *) die "unknown command $cmd" ;;
esac
