#!/usr/bin/env python3
"""Writes the seed corpora of fuzz_readerlink, fuzz_chipmodel and fuzz_cards
(fuzz_boardengine's seeds are handshake recordings of the window's pages,
kept as they are). Each seed is a well-formed run of its target's input
format, so that the fuzzer starts from the paths the application takes.

Run from the repository's top: fuzz/make_seeds.py"""

import os
import struct

TOP = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(TOP, 'corpus')

# Register addresses and values, as link/chipregisters.h names them.
PAGE, COMMAND, FIFO_DATA, FIFO_LENGTH, CONTROL, ERROR_FLAG, BIT_FRAMING = 0x00, 0x01, 0x02, 0x04, 0x09, 0x0A, 0x0F
TX_CONTROL, CODER_CONTROL, MOD_WIDTH = 0x11, 0x14, 0x15
CHANNEL_REDUNDANCY, CRC_PRESET_LSB, CRC_PRESET_MSB, MFOUT_SELECT = 0x22, 0x23, 0x24, 0x26
IDLE, LOAD_CONFIG, AUTHENT1, AUTHENT2, LOAD_KEY, TRANSMIT, TRANSCEIVE = 0x00, 0x07, 0x0C, 0x14, 0x19, 0x1A, 0x1E
FIELD_ON, FIELD_OFF, FLUSH_FIFO = 0x5B, 0x58, 0x01
MILLER, ISO15693_256, ISO15693_4, SEND_ONE_PULSE = 0x19, 0x2E, 0x2F, 0x80
PARITY, PARITY_CRC, ISO_CRC = 0x03, 0x0F, 0x2C
USE_PAGE_SELECT = 0x80


def write(corpus, name, data):
    directory = os.path.join(CORPUS, corpus)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), 'wb') as out:
        out.write(bytes(data))


def crc(data, preset, complement):
    value = preset
    for byte in data:
        value ^= byte
        for _ in range(8):
            value = (value >> 1) ^ 0x8408 if value & 1 else value >> 1
    return (~value & 0xFFFF) if complement else value


def crc_a(data):
    value = crc(data, 0x6363, False)
    return list(data) + [value & 0xFF, value >> 8]


def crc_3309(data):
    value = crc(data, 0xFFFF, True)
    return list(data) + [value & 0xFF, value >> 8]


# --- fuzz_readerlink: n, n operations (what, a, b), the board's bytes -------

WRITE, READ, RESET_PAGE, SET_FIELD, FLUSH, WRITE_FIFO, READ_FIFO, TRANSMIT_OP, TRANSMIT_BYTE, \
    TRANSCEIVE_OP, TRANSCEIVE_COUNTING, WRITE_MASKED, SET_OR_CLEAR, PROBE = range(14)
ACK = b'A'


def result(value):
    return b'AR' + bytes([value])


def link_seed(operations, board):
    data = [len(operations)]
    for operation in operations:
        data += list(operation)
    return data + list(board)


def readerlink_seeds():
    # Every operation answered as a sound board answers it.
    write('readerlink', 'answered', link_seed(
        [(SET_FIELD, 0, 1), (WRITE, TX_CONTROL, FIELD_ON), (READ, FIFO_LENGTH, 0),
         (TRANSCEIVE_OP, 2, 2), (TRANSCEIVE_COUNTING, 1, 2), (WRITE_MASKED, TX_CONTROL, 0x60),
         (READ_FIFO, 3, 0), (PROBE, 0, 0)],
        ACK + ACK + result(0x02) + ACK * 3 + result(0x04) + result(0x00) + ACK * 2 + result(0x02)
        + result(0x04) + result(0x00) + result(FIELD_ON) + ACK + result(1) + result(2) + result(3) + ACK))
    # Refusals: a few, then past the cap.
    write('readerlink', 'refusals', link_seed(
        [(WRITE, MOD_WIDTH, 0x3F), (READ, MOD_WIDTH, 0), (WRITE, MOD_WIDTH, 0x3F), (READ, TX_CONTROL, 0)],
        b'EEA' + b'E' + result(0x3F) + b'E' * 11 + b'E' * 11))
    # Noise before "A" and before "R".
    write('readerlink', 'noise', link_seed(
        [(WRITE, CODER_CONTROL, MILLER), (READ, CODER_CONTROL, 0), (SET_OR_CLEAR, TX_CONTROL, 0x03)],
        b'\x00zR' + ACK + b'A\xffEx' + b'R' + bytes([MILLER]) + b'R' + result(FIELD_OFF) + b'q' + ACK))
    # The board stops in the middle of a FIFO read-out, then of a read.
    write('readerlink', 'truncated', link_seed(
        [(TRANSMIT_BYTE, 0, 0x26), (READ_FIFO, 5, 0), (READ, FIFO_LENGTH, 0), (WRITE_FIFO, 4, 0x93)],
        ACK * 3 + result(0x04) + b'AR'))
    # A board that says nothing at all: every handshake ends at once.
    write('readerlink', 'silent', link_seed(
        [(TRANSCEIVE_OP, 127, 127), (READ_FIFO, 0x80, 0), (WRITE_FIFO, 0xFF, 0), (RESET_PAGE, 0, 0), (FLUSH, 0, 0),
         (TRANSMIT_OP, 3, 1)],
        b''))


# --- fuzz_chipmodel: letters and arguments ------------------------------------

def w(address, value):
    return [ord('w'), address, value]


def r(address, count=1):
    return [ord('r'), address] * count


def fifo(data):
    return [ord('f'), len(data)] + list(data)


def clock(steps):
    return [ord('t'), steps]


def card_out(index):
    return [ord('x'), index]


# The field holds the demo MIFARE card (0), two ISO 15693 tags (1, 2), an
# Ultralight (3) and another MIFARE card (4): 3 and 4 taken out leave one
# type A card to identify.
ONE_TYPE_A_CARD = card_out(3) + card_out(4)
TYPE_A = w(CONTROL, FLUSH_FIFO) + w(TX_CONTROL, FIELD_ON) + w(CODER_CONTROL, MILLER)
ISO_15693 = w(CONTROL, FLUSH_FIFO) + w(TX_CONTROL, FIELD_ON) + w(CODER_CONTROL, ISO15693_256) \
    + w(MOD_WIDTH, 0x3F) + w(CHANNEL_REDUNDANCY, ISO_CRC) + w(CRC_PRESET_LSB, 0xFF) + w(CRC_PRESET_MSB, 0xFF)


def xor(data):
    value = 0
    for byte in data:
        value ^= byte
    return value


def transceive(frame, reads, redundancy=PARITY, framing=0x00, wait=0):
    return (w(CHANNEL_REDUNDANCY, redundancy) + w(BIT_FRAMING, framing) + fifo(frame) + w(COMMAND, TRANSCEIVE)
            + clock(wait) + r(FIFO_LENGTH) + r(FIFO_DATA, reads))


UID = [0x04, 0xA2, 0x3B, 0x15]
BCC = UID[0] ^ UID[1] ^ UID[2] ^ UID[3]
IDENTIFY = (transceive([0x26], 2, framing=0x07) + transceive([0x93, 0x20], 5)
            + transceive([0x93, 0x70] + UID + [BCC], 1, redundancy=PARITY_CRC))
# Key 3C5E7A91B2D4 as LoadKey takes it: each nibble with its complement above.
KEY = [0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4]
CODED_KEY = []
for key_byte in KEY:
    for nibble in (key_byte >> 4, key_byte & 0x0F):
        CODED_KEY.append(((nibble ^ 0x0F) << 4) | nibble)
AUTHENTICATE = (fifo(CODED_KEY) + w(COMMAND, LOAD_KEY) + w(CHANNEL_REDUNDANCY, 0x07)
                + fifo([0x60, 0x04] + UID) + w(COMMAND, AUTHENT1) + w(CHANNEL_REDUNDANCY, PARITY)
                + w(COMMAND, AUTHENT2) + r(CONTROL))
READ_BLOCK = transceive([0x30, 0x04], 16, redundancy=PARITY_CRC)
WRITE_BLOCK = (transceive([0xA0, 0x05], 1, redundancy=0x07)
               + transceive(list(b'fuzzed block 5!!'), 1, redundancy=0x07))


def chipmodel_seeds():
    write('chipmodel', 'identify', ONE_TYPE_A_CARD + TYPE_A + IDENTIFY)
    write('chipmodel', 'mifare', ONE_TYPE_A_CARD + TYPE_A + IDENTIFY + AUTHENTICATE + READ_BLOCK + WRITE_BLOCK)
    # The same on the real-time bench: the FIFO fills as the answer comes.
    realtime = [ord('T')] + ONE_TYPE_A_CARD + TYPE_A + IDENTIFY + AUTHENTICATE + READ_BLOCK
    realtime += w(COMMAND, TRANSCEIVE) + r(COMMAND, 3) + clock(200) + r(COMMAND)
    write('chipmodel', 'realtime', realtime)
    # The Ultralight alone: two cascade levels, then its pages.
    double_uid = [0x04, 0xA2, 0x3B, 0x91, 0xC4, 0x2E, 0x80]
    level1 = [0x88] + double_uid[:3]
    level2 = double_uid[3:]
    write('chipmodel', 'ultralight', card_out(0) + card_out(4) + TYPE_A + transceive([0x26], 2, framing=0x07)
          + transceive([0x93, 0x20], 5) + transceive([0x93, 0x70] + level1 + [xor(level1)], 1, redundancy=PARITY_CRC)
          + transceive([0x95, 0x20], 5) + transceive([0x95, 0x70] + level2 + [xor(level2)], 1, redundancy=PARITY_CRC)
          + transceive([0x30, 0x04], 16, redundancy=PARITY_CRC) + transceive([0xA2, 0x05, 1, 2, 3, 4], 1, redundancy=0x07)
          + transceive([0x50, 0x00], 0, redundancy=0x07))
    # Two type A cards answering at once.
    write('chipmodel', 'collision', card_out(4) + TYPE_A + transceive([0x26], 2, framing=0x07)
          + transceive([0x93, 0x20], 5) + r(ERROR_FLAG) + r(0x0B))
    # A 16-slot inventory, with and without AFI, and its end-of-frame pulses.
    inventory = ISO_15693 + transceive([0x06, 0x01, 0x00], 12, redundancy=ISO_CRC)
    for _ in range(15):
        inventory += w(CODER_CONTROL, ISO15693_256 | SEND_ONE_PULSE) + w(COMMAND, TRANSCEIVE) + r(FIFO_LENGTH)
    inventory += w(CODER_CONTROL, ISO15693_4) + transceive([0x16, 0x01, 0x12, 0x00], 12, redundancy=ISO_CRC)
    write('chipmodel', 'inventory', inventory)
    write('chipmodel', 'blockread', ISO_15693 + transceive([0x02, 0x20, 0x05], 7, redundancy=ISO_CRC))
    # CRC presets with unequal bytes, CRC8, CRC on the way back only.
    presets = TYPE_A + w(CRC_PRESET_LSB, 0x34) + w(CRC_PRESET_MSB, 0x12)
    for redundancy in (0x07, 0x0F, 0x17, 0x2C, 0x0B):
        presets += w(CHANNEL_REDUNDANCY, redundancy) + fifo([0x12, 0x34]) + w(COMMAND, TRANSMIT) + r(0x0D) + r(0x0E)
    write('chipmodel', 'crcpresets', presets)
    # Every command code, with something in the FIFO for those that take it.
    commands = TYPE_A
    for code in range(0x40):
        commands += fifo([0x10, 0x00, 0x60, 0x04]) + w(COMMAND, code) + r(COMMAND) + r(ERROR_FLAG) + w(CONTROL, 0x01)
    write('chipmodel', 'commands', commands)
    # LoadConfig from the start-up set and from out of the EEPROM's range.
    write('chipmodel', 'loadconfig', fifo([0x10, 0x00]) + w(COMMAND, LOAD_CONFIG) + r(TX_CONTROL)
          + fifo([0xF0, 0x01]) + w(COMMAND, LOAD_CONFIG) + r(ERROR_FLAG) + fifo([0xFF] * 12) + w(COMMAND, LOAD_KEY))
    # Paged addressing: Page with UsePageSelect, then short addresses.
    paging = []
    for page in range(8):
        paging += w(PAGE, USE_PAGE_SELECT | page) + w(0x01, 0x00) + r(0x02) + r(0x04) + w(0x07, 0x3F)
    paging += w(PAGE, 0x00) + [ord('p')] + r(TX_CONTROL)
    write('chipmodel', 'paging', paging)
    # Bit-oriented frames: TxLastBits, RxAlign, an FIFO overflow.
    write('chipmodel', 'bitframing', ONE_TYPE_A_CARD + TYPE_A + transceive([0x26], 2, framing=0x07)
          + transceive([0x93, 0x25, 0x04], 5, framing=0x55) + fifo(list(range(70))) + r(ERROR_FLAG)
          + w(MFOUT_SELECT, 0x03) + w(TX_CONTROL, 0x1B) + w(COMMAND, TRANSMIT))


# --- fuzz_cards: kind, state [, block], frames --------------------------------

PLAIN_A, DOUBLE_A, CLASSIC, ULTRALIGHT, TAG_SLOT_1, TAG_SLOT_10 = range(6)
OFF, IDLE_STATE, READY, READY_LEVEL_2, ACTIVE, HALTED, AUTHENTICATED, WRITE_DUE = range(8)
TAG_OFF, TAG_READY, QUIET, SELECTED, INVENTORY_UNDER_WAY, ANSWER_HELD = range(6)
OWN, MILLER_CODING, ONE_OUT_OF_4, ONE_OUT_OF_256 = 5, 0, 2, 3
RAW, PARITY_BYTES, WITH_CRC, SHORT = 0, 1, 2, 3
PULSE, ENCRYPTED, EXTRA = 0x08, 0x40, 0x80


def frame(body_form, payload, coding=OWN, flags=0):
    header = coding | (body_form << 4) | flags
    if body_form == SHORT:
        return [header, payload]
    return [header, len(payload)] + list(payload)


def raw_bits(bits):
    """A RAW frame body: its bit count, then the bits packed LSB first."""
    packed = []
    for start in range(0, len(bits), 8):
        value = 0
        for i, bit in enumerate(bits[start:start + 8]):
            value |= bit << i
        packed.append(value)
    return [len(bits)] + packed


def with_parity(data):
    """Type A bits: each byte LSB first, then its odd parity bit."""
    bits = []
    for byte in data:
        byte_bits = [(byte >> i) & 1 for i in range(8)]
        bits += byte_bits + [1 - sum(byte_bits) % 2]
    return bits


def pulse(coding=OWN):
    return [coding | PULSE]


def cards_seeds():
    halt = frame(WITH_CRC, [0x50, 0x00])
    write('cards', 'typea-ready', [PLAIN_A, READY] + frame(PARITY_BYTES, [0x93, 0x20])
          + [OWN | (RAW << 4)] + raw_bits(with_parity([0x93, 0x25]) + [0, 0, 1, 0, 0])
          + frame(WITH_CRC, [0x93, 0x70, 0x04, 0xA2, 0x3B, 0x15, 0x04 ^ 0xA2 ^ 0x3B ^ 0x15]) + halt
          + frame(SHORT, 0x52) + frame(SHORT, 0x26))
    write('cards', 'double-level2', [DOUBLE_A, READY_LEVEL_2] + frame(PARITY_BYTES, [0x95, 0x20])
          + frame(SHORT, 0x52))
    write('cards', 'classic-authenticated', [CLASSIC, AUTHENTICATED, 4]
          + frame(WITH_CRC, [0x30, 0x04], flags=ENCRYPTED) + frame(WITH_CRC, [0x30, 0x07], flags=ENCRYPTED)
          + frame(WITH_CRC, [0xA0, 0x05], flags=ENCRYPTED)
          + frame(WITH_CRC, list(b'sixteen bytes!!!'), flags=ENCRYPTED)
          + frame(WITH_CRC, [0x60, 0x08], flags=ENCRYPTED) + frame(WITH_CRC, [0x30, 0x40], flags=ENCRYPTED)
          + frame(WITH_CRC, [0x50, 0x00], flags=ENCRYPTED))
    write('cards', 'classic-trailer', [CLASSIC, WRITE_DUE, 7]
          + frame(WITH_CRC, [0xFF] * 6 + [0xFF, 0x07, 0x80, 0x69] + [0xFF] * 6, flags=ENCRYPTED)
          + frame(WITH_CRC, [0x30, 0x07], flags=ENCRYPTED))
    write('cards', 'classic-clear', [CLASSIC, ACTIVE, 0] + frame(WITH_CRC, [0x30, 0x04])
          + frame(WITH_CRC, [0x61, 0x3F]) + frame(PARITY_BYTES, [1, 2, 3, 4, 5, 6, 7, 8]) + halt)
    write('cards', 'ultralight', [ULTRALIGHT, ACTIVE, 0] + frame(WITH_CRC, [0x30, 0x0E])
          + frame(WITH_CRC, [0xA2, 0x05, 1, 2, 3, 4]) + frame(WITH_CRC, [0xA2, 0x02, 0, 0, 0xFF, 0xFF])
          + frame(WITH_CRC, [0xA2, 0x05, 1, 2, 3, 4]) + frame(WITH_CRC, [0xA0, 0x06])
          + frame(WITH_CRC, list(b'compatible write')) + halt)
    write('cards', 'ultralight-write-due', [ULTRALIGHT, WRITE_DUE, 3] + frame(WITH_CRC, list(b'0123456789abcdef')))
    # ISO 15693: the request's flags (high data rate) first.
    read = frame(WITH_CRC, [0x02, 0x20, 0x05])
    read_option = frame(WITH_CRC, [0x42, 0x20, 0x1B])
    write('cards', 'tag-inventory', [TAG_SLOT_10, INVENTORY_UNDER_WAY] + pulse() * 15
          + frame(WITH_CRC, [0x26, 0x01, 0x12, 0x00]) + frame(WITH_CRC, [0x36, 0x01, 0x10, 0x04, 0x0A]) + pulse())
    write('cards', 'tag-commands', [TAG_SLOT_1, TAG_READY] + read + read_option
          + frame(WITH_CRC, [0x02, 0x21, 0x03, 1, 2, 3, 4]) + frame(WITH_CRC, [0x02, 0x22, 0x03])
          + frame(WITH_CRC, [0x02, 0x21, 0x03, 1, 2, 3, 4]) + frame(WITH_CRC, [0x02, 0x27, 0x42])
          + frame(WITH_CRC, [0x02, 0x28]) + frame(WITH_CRC, [0x02, 0x29, 0x07]) + frame(WITH_CRC, [0x02, 0x2A])
          + frame(WITH_CRC, [0x02, 0x2B]) + frame(WITH_CRC, [0x02, 0xA5]) + frame(WITH_CRC, [0x0A, 0x20, 0x00]))
    uid = list(struct.pack('<Q', 0xE004010866215731))
    write('cards', 'tag-selected', [TAG_SLOT_1, SELECTED] + frame(WITH_CRC, [0x12, 0x20, 0x00])
          + frame(WITH_CRC, [0x22, 0x25] + uid) + frame(WITH_CRC, [0x22, 0x02] + uid)
          + frame(WITH_CRC, [0x02, 0x20, 0x00]) + frame(WITH_CRC, [0x22, 0x26] + uid) + read)
    write('cards', 'tag-held', [TAG_SLOT_1, ANSWER_HELD] + pulse() + frame(WITH_CRC, [0x42, 0x22, 0x01]) + pulse()
          + frame(WITH_CRC, [0x03, 0x20, 0x00]) + frame(WITH_CRC, [0x00, 0x20, 0x00]))
    write('cards', 'tag-quiet-256', [TAG_SLOT_1, QUIET | 0x80] + read + frame(WITH_CRC, [0x22, 0x26] + uid) + read)
    # The scope's settings from the input, a second card's answer superposed,
    # the field cycled, codings the card does not hear.
    settings = [FIELD_ON, MILLER, 0x13, 0x3F, 0x11, 0x04, PARITY]
    other_answer = raw_bits([0, 1] * 20)
    write('cards', 'scope', [PLAIN_A, READY] + [EXTRA | OWN | (PARITY_BYTES << 4), 0x05] + settings + other_answer
          + [2, 0x93, 0x20] + [EXTRA | OWN | (SHORT << 4), 0x02, 0x26]
          + frame(PARITY_BYTES, [0x93, 0x20], coding=1) + frame(RAW, [0xAA, 0x55], coding=4)
          + frame(SHORT, 0x26, coding=ONE_OUT_OF_4) + pulse(MILLER_CODING))
    write('cards', 'tag-scope', [TAG_SLOT_1, TAG_READY | 0x80]
          + [EXTRA | OWN | (WITH_CRC << 4), 0x05] + [FIELD_ON, ISO15693_4, 0x3F, 0x3F, 0x02, 0x05, ISO_CRC]
          + raw_bits([1] * 8 + [0] * 8) + [3, 0x26, 0x01, 0x00] + pulse(ONE_OUT_OF_256) + pulse(ONE_OUT_OF_4))


if __name__ == '__main__':
    readerlink_seeds()
    chipmodel_seeds()
    cards_seeds()
