# SPDX-License-Identifier: GPL-3.0-or-later
# What the scripts that work in Debian chroots share (sourced, bash): the machine's own
# Debian mirror, the cache of chroots, and the mounts a chroot needs, always undone.
# The sourcing script sets: chroot_log_name (the prefix of its messages).

# The archive this machine's apt installs its own release from: the first "deb" source
# (deb822 files first, then the one-line format) whose suites name the release in
# /etc/os-release. Every Debian release is in the same archive, so this one URI serves
# whichever release a chroot is made of. TARVENTO_MIRROR overrides it.
debian_mirror() {
  if [ -n "${TARVENTO_MIRROR:-}" ]; then
    echo "$TARVENTO_MIRROR"
    return
  fi
  local release f uri
  release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  if [ -z "$release" ]; then
    echo "$chroot_log_name: /etc/os-release names no release; set TARVENTO_MIRROR" >&2
    return 1
  fi
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    uri=$(awk -v suite="$release" '
      BEGIN { RS = ""; FS = "\n" }
      {
        types = ""; uris = ""; suites = ""; enabled = "yes"
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^[ \t]*#/) continue
          if ($i ~ /^Types:/) { types = $i; sub(/^Types:[ \t]*/, "", types) }
          if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris) }
          if ($i ~ /^Suites:/) { suites = $i; sub(/^Suites:[ \t]*/, "", suites) }
          if ($i ~ /^Enabled:[ \t]*no/) enabled = "no"
        }
        if (enabled == "no" || types !~ /(^| )deb( |$)/) next
        n = split(suites, s, /[ \t]+/)
        for (j = 1; j <= n; j++) if (s[j] == suite) { split(uris, u, /[ \t]+/); print u[1]; exit }
      }' "$f")
    [ -z "$uri" ] || { echo "$uri"; return; }
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    uri=$(awk -v suite="$release" '
      $1 == "deb" {
        i = 2
        if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) == suite) { print $i; exit }
      }' "$f")
    [ -z "$uri" ] || { echo "$uri"; return; }
  done
  echo "$chroot_log_name: no source for $release in /etc/apt; set TARVENTO_MIRROR" >&2
  return 1
}

# Chroots are kept in $TARVENTO_CHROOT_CACHE (/var/cache/tarvento) as
# chroot-PURPOSE-SUITE-ARCH-KEY, KEY a hash of what goes into them. A new one replaces only
# those of its own purpose, release and architecture: the chroots of other scripts, other
# releases and other architectures stay.
chroot_cache=${TARVENTO_CHROOT_CACHE:-/var/cache/tarvento}
chroot_path() {  # chroot_path PURPOSE SUITE ARCH KEY
  echo "$chroot_cache/chroot-$1-$2-$3-$4"
}
chroot_replace() {  # chroot_replace NEW FINAL: NEW becomes FINAL; its older keys go
  local final=$2 old
  for old in "${final%-*}"-*; do
    [ "$old" = "$final" ] || [ ! -d "$old" ] || case "$old" in *.new.*) ;; *) remove_tree "$old" ;; esac
  done
  [ ! -e "$final" ] || remove_tree "$final"
  mv "$1" "$final"
}

# Packages of the machine that a script needs, installed when missing.
host_install() {  # host_install PACKAGE...
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "$chroot_log_name: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Mounts, undone in reverse order by unmount_all (the sourcing script traps EXIT for it).
chroot_mounts=()
mount_at() {  # mount_at TARGET mount-arguments...
  local target=$1
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  chroot_mounts+=("$target")
}
unmount_all() {
  local i
  for ((i = ${#chroot_mounts[@]} - 1; i >= 0; i--)); do
    umount "${chroot_mounts[i]}" 2>/dev/null || umount -l "${chroot_mounts[i]}" || true
  done
  chroot_mounts=()
}

# Removes a chroot or a run's folder, never what is mounted below it (the machine's /dev,
# /proc and /sys are, while a chroot is in use).
remove_tree() {  # remove_tree DIR
  local dir
  dir=$(realpath -m "$1")
  if awk -v d="$dir/" '{ gsub(/\\040/, " ", $2) } index($2 "/", d) == 1 { found = 1 } END { exit !found }' \
      /proc/self/mounts; then
    echo "$chroot_log_name: $dir still has mounts below it; not removed" >&2
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

# What the build and the test suite need in a chroot: the root a mount point of its own (so
# that tests can make their mounts private there), /proc, the machine's own bus read-only
# (tests read it as a user would), /dev, and a tmpfs /tmp.
mount_system() {  # mount_system ROOT
  local root=$1
  mount_at "$root" --bind "$root"
  mount_at "$root/proc" -t proc proc
  mount_at "$root/sys" -t sysfs sysfs -o ro
  mount_at "$root/dev" --bind /dev
  mount_at "$root/dev/pts" --bind /dev/pts
  mount_at "$root/dev/shm" -t tmpfs tmpfs -o mode=1777
  # Temporary folders and virtual cards on a tmpfs: 32-bit programs under qemu-user can
  # fail to list folders of a host filesystem whose directory offsets need 64 bits.
  mount_at "$root/tmp" -t tmpfs tmpfs -o mode=1777
}

# Runs a shell command in the chroot with a clean environment (no display: the tests start
# their own X server when they need one), prefixed by the words of $chroot_prefix when set.
in_chroot() {  # in_chroot ROOT COMMAND
  ${chroot_prefix:-} chroot "$1" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 /bin/bash -euo pipefail -c "$2"
}

# A copy of the tree as it stands (committed or not), without its build folders and git:
# what is built in a chroot writes nothing into the checkout.
copy_tree() {  # copy_tree SOURCE DEST
  rm -rf "$2"
  mkdir -p "$2"
  tar -C "$1" --exclude=./build --exclude='./build-*' --exclude=./.git -cf - . | tar -C "$2" -xf -
}
