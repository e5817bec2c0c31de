# SPDX-License-Identifier: GPL-3.0-or-later
# The emulated card (QEMU's VGA, 1234:1111), reached with card-word as root.
card_resource0() {
  for dev in /sys/bus/pci/devices/*; do
    if [ "$(cat "$dev/vendor")" = 0x1234 ] && [ "$(cat "$dev/device")" = 0x1111 ]; then
      echo "$dev/resource0"
      return 0
    fi
  done
  return 1
}
card_word() {  # card_word OFFSET [VALUE]: prints the word (after writing VALUE)
  /usr/local/sbin/card-word "$(card_resource0)" "$@"
}
card_seed() {  # card_seed [PLL_SELECT]: a RIVA TNT as its firmware and a driver leave it
  card_word 0x680500 0x0001960C >/dev/null
  card_word 0x680504 0x0001B80C >/dev/null
  card_word 0x101000 0x00000040 >/dev/null
  # The PLL select word a driver leaves after a mode set (every PLL runs from its word);
  # QEMU's card answers 0 there, as a RIVA TNT does after a reset.
  card_word 0x68050C "${1:-0x10000700}" >/dev/null
}
