# SPDX-License-Identifier: GPL-3.0-or-later
# The i386 Debian 12 chroot in which the i386 package is built (scripts/package --arch i386)
# and tested (scripts/test-i386), and the way its programs run on a kernel that cannot run
# them (sourced, bash, as root). The sourcing script sets chroot_log_name and src (the
# tree), calls i386_chroot, and traps EXIT for i386_cleanup.
#
# The chroot is made once with debootstrap and kept under $TARVENTO_I386_CACHE (default
# $TARVENTO_CHROOT_CACHE, else /var/cache/tarvento), keyed on what goes into it
# (scripts/install-deps --test and the package's build dependencies); later runs reuse it.
# The mirror is the one this machine's apt uses; TARVENTO_I386_MIRROR (or TARVENTO_MIRROR)
# overrides it. On a kernel that cannot run 32-bit programs the chroot runs under
# qemu-user, registered with binfmt_misc for the run only; TARVENTO_I386_EMULATE=1 does
# that on any kernel.

TARVENTO_CHROOT_CACHE=${TARVENTO_I386_CACHE:-${TARVENTO_CHROOT_CACHE:-/var/cache/tarvento}}
TARVENTO_MIRROR=${TARVENTO_I386_MIRROR:-${TARVENTO_MIRROR:-}}
. "$src/scripts/lib/debian-chroot.sh"

# What the sudo of a script that uses the chroot keeps of the caller's environment.
i386_preserved_env=TARVENTO_I386_CACHE,TARVENTO_I386_MIRROR,TARVENTO_CHROOT_CACHE,TARVENTO_MIRROR,TARVENTO_I386_EMULATE

say() { echo "$chroot_log_name: $*"; }
fail() { echo "$chroot_log_name: FAILED: $*" >&2; exit 1; }

i386_suite=bookworm
# Runs a shell command in the chroot as an i686 machine would.
chroot_prefix="setarch i686"

# qemu-i386-static: in Debian 12 the package qemu-user-static; from Debian 13 on qemu-user
# has the static programs, and qemu-user-static is a transitional package that would also
# register handlers for every foreign architecture with the kernel.
qemu_package=qemu-user
[ "$(. /etc/os-release && echo "${VERSION_ID%%.*}")" != 12 ] || qemu_package=qemu-user-static

# --- 32-bit programs on a kernel that cannot run them ---
# A kernel without IA32 emulation answers "Exec format error" to every program of the
# chroot. Then QEMU's i386 interpreter is registered with binfmt_misc for this run (F:
# opened now, so that it works inside the chroot; C: a program's setuid bits and file
# capabilities count as they do natively, which the suite's test of a copy with file
# capabilities needs), and removed again on every way out, with
# binfmt_misc unmounted when this run mounted it. TARVENTO_I386_EMULATE=1 registers it on a
# kernel that runs i386 programs too: a registered format comes before the native ELF
# loader, so the whole chroot then runs under qemu-user, as on such a kernel.
binfmt=/proc/sys/fs/binfmt_misc
binfmt_entry=""
binfmt_mounted=0
# The interpreter: this machine's qemu-i386-static when it is QEMU 10 or later, else Debian
# 13's, fetched once from this machine's mirror (apt checks it against the archive's key)
# and kept in the chroot cache. Debian 12's QEMU 7.2 runs simple threaded programs, but
# aborts CMake's moc step (cmake_autogen: "terminate called ... Resource deadlock
# avoided"), so the Qt build cannot run under it; Debian 13's 10.0 runs it.
i386_interpreter() {
  local qemu version
  host_install "$qemu_package" >&2
  qemu=$(command -v qemu-i386-static) || fail "qemu-i386-static is not installed ($qemu_package)"
  version=$("$qemu" --version | sed -n '1s/.* version \([0-9][0-9]*\)\..*/\1/p')
  if [ "${version:-0}" -ge 10 ]; then
    realpath "$qemu"
    return
  fi
  local dir=$chroot_cache/qemu-i386-trixie
  if [ ! -x "$dir/qemu-i386" ]; then
    local work mirror
    mirror=$(debian_mirror) || fail "no Debian mirror for QEMU's interpreter"
    work=$(mktemp -d)
    mkdir -p "$work/lists/partial" "$work/archives/partial"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror trixie main" >"$work/sources.list"
    local apt_options=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/nonexistent
      -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work" -o APT::Architecture=amd64
      -o APT::Sandbox::User=root)
    (cd "$work" && apt-get "${apt_options[@]}" -q update >&2 && apt-get "${apt_options[@]}" -q download qemu-user >&2) &&
      dpkg-deb -x "$work"/qemu-user_*.deb "$work/x" &&
      mkdir -p "$dir" && cp "$work/x/usr/bin/qemu-i386" "$dir/qemu-i386.new" && mv "$dir/qemu-i386.new" "$dir/qemu-i386" ||
      { rm -rf "$work"; fail "cannot fetch Debian 13's qemu-user from $mirror"; }
    rm -rf "$work"
    say "fetched QEMU's i386 interpreter from Debian 13 into $dir ($("$dir/qemu-i386" --version | head -n 1))" >&2
  fi
  echo "$dir/qemu-i386"
}
register_i386_interpreter() {  # register_i386_interpreter REASON
  local qemu
  qemu=$(i386_interpreter)
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" || fail "cannot mount binfmt_misc on $binfmt"
    binfmt_mounted=1
  fi
  # An entry of a run that was killed outright (SIGKILL leaves no way out) goes first.
  local stale
  for stale in "$binfmt"/tarvento-i386-*; do
    [ -e "$stale" ] && ! kill -0 "${stale##*-}" 2>/dev/null || continue
    echo -1 >"$stale" && say "removed the binfmt_misc entry ${stale##*/} of a run that is gone"
  done
  # The i386 ELF magic and mask of QEMU's qemu-binfmt-conf.sh; the kernel reads the escapes.
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  binfmt_entry=tarvento-i386-$$
  printf ':%s:M::%s:%s:%s:FC' "$binfmt_entry" "$magic" "$mask" "$(realpath "$qemu")" >"$binfmt/register" ||
    { binfmt_entry=""; fail "cannot register $qemu with binfmt_misc"; }
  say "$1: i386 programs run under $qemu for this run (binfmt_misc entry $binfmt_entry)"
}
unregister_i386_interpreter() {
  if [ -n "$binfmt_entry" ] && [ -e "$binfmt/$binfmt_entry" ]; then
    echo -1 >"$binfmt/$binfmt_entry" && say "removed the binfmt_misc entry $binfmt_entry"
  fi
  binfmt_entry=""
  # Unmounted only when this run mounted it and no one else registered a format since.
  if [ "$binfmt_mounted" = 1 ] && [ -z "$(ls "$binfmt" | grep -v -x -e register -e status)" ]; then
    umount "$binfmt" && say "unmounted binfmt_misc"
  fi
  binfmt_mounted=0
}
# Whether the chroot's programs run; registers the interpreter when the kernel cannot run
# them (or when TARVENTO_I386_EMULATE=1 asks for it).
check_i386_programs() {  # check_i386_programs ROOT
  local error
  if [ -z "$binfmt_entry" ] && [ "${TARVENTO_I386_EMULATE:-0}" = 1 ]; then
    register_i386_interpreter "TARVENTO_I386_EMULATE=1"
  fi
  if error=$(chroot "$1" /bin/true 2>&1); then
    return 0
  fi
  case "$error" in
  *"Exec format error"*)
    [ -z "$binfmt_entry" ] || fail "i386 programs do not run even with QEMU's interpreter: $error"
    register_i386_interpreter "this kernel does not run i386 programs"
    error=$(chroot "$1" /bin/true 2>&1) || fail "i386 programs do not run under QEMU either: $error"
    ;;
  *) fail "the chroot does not run: $error" ;;
  esac
}

i386_new=""  # a chroot being made: removed when the run ends before it is complete
i386_cleanup() {
  [ ! -d "$src/build" ] || chown -R --reference="$src" "$src/build" 2>/dev/null || true
  unmount_all
  [ -z "$i386_new" ] || remove_tree "$i386_new"
  unregister_i386_interpreter
}

# --- The chroot, made once: what scripts/install-deps --test installs (the package build
# runs the suite, which then finds every program it looks for) and the package's build
# dependencies. Sets i386_root; its programs run when it returns ---
i386_chroot() {
  host_install debootstrap
  local key
  key=$( (cat "$src/scripts/install-deps" "$src/debian/control"
          sed -n '/^# --- The chroot, made once/,/^}$/p' "$src/scripts/lib/i386-chroot.sh"
          echo "$i386_suite") | sha256sum | cut -c1-16)
  i386_root=$(chroot_path build "$i386_suite" i386 "$key")
  if [ -e "$i386_root/.tarvento-ready" ]; then
    say "reusing $i386_root"
    check_i386_programs "$i386_root"
    return
  fi
  local mirror log made=$SECONDS
  mirror=$(debian_mirror) || fail "no Debian mirror"
  say "making the i386 chroot $i386_root"
  mkdir -p "$chroot_cache"
  i386_new=$i386_root.new.$$
  log=$chroot_cache/debootstrap-$i386_suite-i386-$key.log
  # In two stages: the second runs the chroot's own programs, which this kernel may not.
  debootstrap --foreign --arch=i386 --variant=minbase --include=ca-certificates \
    "$i386_suite" "$i386_new" "$mirror" >"$log" 2>&1 || fail "debootstrap, see $log"
  check_i386_programs "$i386_new"
  chroot "$i386_new" /debootstrap/debootstrap --second-stage >>"$log" 2>&1 ||
    fail "debootstrap's second stage, see $log"
  mkdir -p "$i386_new/root/deps/scripts"
  cp "$src/scripts/install-deps" "$src/scripts/package" "$i386_new/root/deps/scripts/"
  cp -R "$src/debian" "$i386_new/root/deps/"
  mount_system "$i386_new"
  in_chroot "$i386_new" '/root/deps/scripts/install-deps --test && /root/deps/scripts/package --deps &&
    apt-get clean' >>"$log" 2>&1 || fail "installing the build's packages, see $log"
  unmount_all
  rm -rf "$i386_new/root/deps"
  touch "$i386_new/.tarvento-ready"
  chroot_replace "$i386_new" "$i386_root"
  i386_new=""
  say "made the i386 chroot in $((SECONDS - made)) s"
}
