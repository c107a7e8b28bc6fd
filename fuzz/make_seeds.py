#!/usr/bin/env python3
"""Writes the seed corpora of fuzz_readerlink, fuzz_chipmodel, fuzz_cards,
fuzz_accessconditions, fuzz_dumpfile, fuzz_cliarguments and fuzz_airdecoder
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

PLAIN_A, DOUBLE_A, CLASSIC, ULTRALIGHT, TAG_SLOT_1, TAG_SLOT_10, CLASSIC_4K = range(7)
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


AUTHENTICATE_FIRST = 0x08
KEY_B, WRONG_KEY = 0x01, 0x02


def authenticated_frame(choice, block, body_form, payload):
    """The reader's own authentication (nested when a session is open),
    then a frame under the session."""
    return [EXTRA | OWN | (body_form << 4) | ENCRYPTED, AUTHENTICATE_FIRST, choice, block] \
        + frame(body_form, payload)[1:]


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
    # Nested authentications: key A of another sector, key B, a wrong key.
    write('cards', 'classic-nested', [CLASSIC, AUTHENTICATED, 4] + frame(WITH_CRC, [0x30, 0x04], flags=ENCRYPTED)
          + authenticated_frame(0, 8, WITH_CRC, [0x30, 0x08]) + authenticated_frame(KEY_B, 11, WITH_CRC, [0x30, 0x0B])
          + authenticated_frame(WRONG_KEY, 12, WITH_CRC, [0x30, 0x0C]) + authenticated_frame(0, 13, WITH_CRC, [0x30, 0x0D]))
    # A 4K with a double-size UID: a large sector's blocks and its trailer.
    write('cards', 'classic-4k', [CLASSIC_4K, AUTHENTICATED, 200] + frame(WITH_CRC, [0x30, 200], flags=ENCRYPTED)
          + frame(WITH_CRC, [0xA0, 201], flags=ENCRYPTED) + frame(WITH_CRC, list(b'large sector 201'), flags=ENCRYPTED)
          + authenticated_frame(KEY_B, 255, WITH_CRC, [0x30, 0xFF]) + authenticated_frame(0, 127, WITH_CRC, [0x30, 0x7F]))
    # Frames the session garbles: a parity bit wrong, a short frame, a lone byte.
    read_bits = with_parity([0x30, 0x04, 0x26, 0xEE])
    read_bits[8] ^= 1
    write('cards', 'classic-garbled', [CLASSIC, AUTHENTICATED, 4] + [OWN | (RAW << 4) | ENCRYPTED] + raw_bits(read_bits)
          + authenticated_frame(0, 4, SHORT, 0x26)
          + frame(PARITY_BYTES, [0x30], flags=ENCRYPTED) + authenticated_frame(0, 5, WITH_CRC, [0x30, 0x05]))
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


# --- MIFARE Classic access bits, images, key lists ---------------------------

def access_bytes(groups):
    """A trailer's bytes 6 to 8 for the C1C2C3 of groups 0 to 3 (C1 the high
    bit), each nibble beside its complement."""
    c1 = c2 = c3 = 0
    for group, conditions in enumerate(groups):
        c1 |= ((conditions >> 2) & 1) << group
        c2 |= ((conditions >> 1) & 1) << group
        c3 |= (conditions & 1) << group
    return [((~c2 & 0xF) << 4) | (~c1 & 0xF), (c1 << 4) | (~c3 & 0xF), (c3 << 4) | c2]


TRANSPORT_ACCESS = access_bytes([0, 0, 0, 1])
assert TRANSPORT_ACCESS == [0xFF, 0x07, 0x80]
# Data read by either key and written by key B, the trailer's keys written by key B.
KEY_B_WRITES = access_bytes([4, 4, 4, 3])
READ_ONLY = access_bytes([2, 2, 2, 6])
VALUE_BLOCKS = access_bytes([6, 1, 0, 3])
LOCKED = access_bytes([7, 7, 7, 7])
TRANSPORT_KEY = [0xFF] * 6
WINDOW_KEY = [0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4]
LAB_KEY_A = [0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5]
LAB_KEY_B = [0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5]


def block_index(block):
    return list(struct.pack('>h', block))


def accessconditions_seeds():
    edges = block_index(-1) + block_index(4) + block_index(15) + block_index(16) + block_index(32767) \
        + block_index(-32768)
    write('accessconditions', 'transport', TRANSPORT_ACCESS + edges)
    write('accessconditions', 'key-b-writes', KEY_B_WRITES + block_index(3) + block_index(14))
    write('accessconditions', 'read-only', READ_ONLY + block_index(9) + block_index(10))
    write('accessconditions', 'value-blocks', VALUE_BLOCKS + block_index(5))
    write('accessconditions', 'locked', LOCKED)
    # One bit off: a sector its card locks for good.
    write('accessconditions', 'inconsistent', [0xFF, 0x07, 0x81] + edges)
    write('accessconditions', 'all-ones', [0xFF, 0xFF, 0xFF])


SECTORS_1K, SECTORS_4K = 16, 40


def sector_blocks(sector):
    return 4 if sector < 32 else 16


def trailer(key_a, access, key_b, free_byte=0x69):
    return key_a + access + [free_byte] + key_b


def mifare_image(sectors, trailers):
    """A dump file: the manufacturer block, numbered data blocks, and the
    given trailer for each sector (trailers[sector % len(trailers)])."""
    image = []
    block = 0
    for sector in range(sectors):
        for i in range(sector_blocks(sector) - 1):
            if block == 0:
                image += [0x04, 0xA2, 0x3B, 0x15, 0x04 ^ 0xA2 ^ 0x3B ^ 0x15, 0x08, 0x04, 0x00] + list(b'TB101\x00 &')
            else:
                image += [block] + list(b'bloc de donnees')
            block += 1
        image += trailers[sector % len(trailers)]
        block += 1
    return image


TRANSPORT_TRAILER = trailer(TRANSPORT_KEY, TRANSPORT_ACCESS, TRANSPORT_KEY)
LAB_TRAILERS = [TRANSPORT_TRAILER, trailer(LAB_KEY_A, KEY_B_WRITES, LAB_KEY_B), trailer(WINDOW_KEY, READ_ONLY, TRANSPORT_KEY),
                trailer(LAB_KEY_A, VALUE_BLOCKS, LAB_KEY_B), trailer(TRANSPORT_KEY, [0xFF, 0x07, 0x81], TRANSPORT_KEY)]
KEY_LIST = b'# cles du TP\nA0A1A2A3A4A5\n  b0b1b2b3b4b5  \n\n# fin\n3C5E7A91B2D4\n'
BAD_KEY_LIST = b'A0A1A2A3A4A5\nA0A1A2\n'
AS_GIVEN, TO_1K, TO_4K, OPENED_FROM_MASK = 0, 1, 2, 0x04


def dump_seed(mode, opened_mask, key_list, image):
    return [mode] + list(struct.pack('<Q', opened_mask)[:5]) + list(struct.pack('<H', len(key_list))) \
        + list(key_list) + list(image)


def dumpfile_seeds():
    write('dumpfile', '1k-transport', dump_seed(AS_GIVEN, 0, KEY_LIST, mifare_image(SECTORS_1K, [TRANSPORT_TRAILER])))
    write('dumpfile', '4k-lab', dump_seed(AS_GIVEN | OPENED_FROM_MASK, 0x5FFFFFFF7E, KEY_LIST,
                                          mifare_image(SECTORS_4K, LAB_TRAILERS)))
    write('dumpfile', '1k-lab-bad-keys', dump_seed(AS_GIVEN, 0, BAD_KEY_LIST, mifare_image(SECTORS_1K, LAB_TRAILERS)))
    # Files that are no image: too big by a byte, too short, padded to one.
    write('dumpfile', 'too-big', dump_seed(AS_GIVEN, 0, b'', [0xFF] * 4097))
    write('dumpfile', 'short', dump_seed(AS_GIVEN, 0, b'', mifare_image(SECTORS_1K, LAB_TRAILERS)[:1000]))
    write('dumpfile', 'padded-4k', dump_seed(TO_4K | OPENED_FROM_MASK, 0x0F0F0F0F0F, b'FFFFFFFFFFFF',
                                             mifare_image(SECTORS_1K, LAB_TRAILERS)))
    write('dumpfile', 'crlf-keys', dump_seed(TO_1K, 0, b'a0a1a2a3a4a5\r\n\tB0B1B2B3B4B5\r\n', []))


# --- fuzz_cliarguments: the arguments after the program's name ---------------

def cli_seed(name, *arguments):
    write('cliarguments', name, b'\x00'.join(argument.encode() for argument in arguments))


def cliarguments_seeds():
    # The scratch directory's files: image1k, image4k, short, big, keys, badkeys, empty.
    cli_seed('restore', 'restore', 'image1k')
    cli_seed('restore-4k-keys', 'restore', 'image4k', '--keys', 'keys', '--trailers')
    cli_seed('restore-bad-keys', 'restore', 'image1k', '--keys=badkeys')
    cli_seed('restore-not-images', 'restore', 'big', '--keys', 'empty')
    cli_seed('restore-short', 'restore', 'short')
    cli_seed('restore-missing', 'restore', 'absent.bin', '--keys', 'absent.txt')
    cli_seed('dump', 'dump', 'carte.bin', '--4k', '--keys', 'keys')
    cli_seed('dump-journal', 'dump', 'carte.bin', '--journal', 'image1k')
    cli_seed('read', 'read', '4', '--key', 'FFFFFFFFFFFF', '--key-b')
    cli_seed('write', 'write', '5', '00112233445566778899AABBCCDDEEFF', '--key=3C5E7A91B2D4')
    cli_seed('write-bad', 'write', '256', '0011', '--key', 'XYZ')
    cli_seed('identify', 'identify')
    cli_seed('identify-extra', 'identify', 'en trop', '--port', 'ttyUSB0')
    cli_seed('inventory', 'inventory', '--slots', '16', '--afi', '00')
    cli_seed('inventory-bad', 'inventory', '--slots', '2', '--afi', 'GG')
    cli_seed('info', 'info', '--uid', 'E004010866215731')
    cli_seed('read15', 'read15', '3', '--uid', 'E004010866215731')
    cli_seed('write15', 'write15', '3', 'CAFEBABE', '-uid=E004010866215731')
    cli_seed('dump15', 'dump15', 'tag.bin', '--journal=tag.pcapng')
    cli_seed('help', '--help')
    cli_seed('version', '-v', 'identify')
    cli_seed('unknown', 'effacer', '--force')
    cli_seed('value-missing', 'read', '4', '--key')


# --- fuzz_airdecoder: exchanges, each a header, the reader's and the answer's bodies

MILLER_AIR, NRZ_AIR, FOUR_AIR, TWO_FIFTY_SIX_AIR, OTHER_AIR = range(5)
BITS_BODY, PARITY_BODY, CRC_A_BODY, CRC_3309_BODY, BYTES_BODY = range(5)
AS_PAUSES_SAY, HEARD, FIELD_OFF_HEARING, CODER_MUTED, PAUSE_TOO_SHORT, PAUSE_TOO_LONG, TOO_SHALLOW, NOT_MODELLED \
    = range(8)
A_PULSE, ENCRYPTED_AIR, PLAIN_KNOWN, TOKEN, EXTRA_AIR = 0x08, 0x10, 0x20, 0x40, 0x80
SETTINGS_FOLLOW, COLLISIONS, ANSWER_PLAIN_KNOWN, DELAY, RESET = 0x08, 0x10, 0x20, 0x40, 0x80
NO_ANSWER = [BITS_BODY, 0]


def body(form, payload):
    if form == BITS_BODY:
        return [BITS_BODY] + raw_bits(payload)
    return [form, len(payload)] + list(payload)


def exchange(coding, sent, answer=NO_ANSWER, flags=0, extra=None, settings=None, collisions=None, delay_us=None):
    """One exchange; `extra` is the extra byte's hearing and flags, those
    for the settings, collisions and delay given added."""
    for given, flag in ((settings, SETTINGS_FOLLOW), (collisions, COLLISIONS), (delay_us, DELAY)):
        if given is not None:
            extra = (extra or 0) | flag
    data = [coding | flags | (EXTRA_AIR if extra is not None else 0)]
    if extra is not None:
        data.append(extra)
    if settings is not None:
        data += settings
    if not flags & A_PULSE:
        data += sent
    data += answer
    if collisions is not None:
        data += raw_bits(collisions)
    if delay_us is not None:
        data += list(struct.pack('<H', delay_us))
    return data


def airdecoder_seeds():
    uid_cl1 = [0x04, 0xA2, 0x3B, 0x15, 0x04 ^ 0xA2 ^ 0x3B ^ 0x15]
    activation = (exchange(MILLER_AIR, body(BITS_BODY, [0, 1, 1, 0, 0, 1, 0]), body(PARITY_BODY, [0x04, 0x00]))
                  + exchange(MILLER_AIR, body(PARITY_BODY, [0x93, 0x20]), body(PARITY_BODY, uid_cl1))
                  + exchange(MILLER_AIR, body(CRC_A_BODY, [0x93, 0x70] + uid_cl1), body(CRC_A_BODY, [0x08])))
    session = ENCRYPTED_AIR | PLAIN_KNOWN
    write('airdecoder', 'mifare-session', activation
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0x60, 0x04]), body(PARITY_BODY, [0x82, 0xA4, 0x16, 0x6C]))
          + exchange(MILLER_AIR, body(PARITY_BODY, [0x1D, 0x2C, 0x3B, 0x4A, 0x9F, 0x1B, 0x7E, 0x02]),
                     body(PARITY_BODY, [0xA5, 0x3C, 0x10, 0x6E]), flags=session | TOKEN, extra=ANSWER_PLAIN_KNOWN | AS_PAUSES_SAY)
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0x30, 0x04]), body(CRC_A_BODY, list(b'bloc quatre 0004')),
                     flags=session, extra=ANSWER_PLAIN_KNOWN | AS_PAUSES_SAY)
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0xA0, 0x05]), body(BITS_BODY, [0, 1, 0, 1]),
                     flags=session, extra=ANSWER_PLAIN_KNOWN | AS_PAUSES_SAY)
          + exchange(MILLER_AIR, body(CRC_A_BODY, list(b'sixteen bytes!!!')), body(BITS_BODY, [0, 1, 0, 1]),
                     flags=session, extra=ANSWER_PLAIN_KNOWN | AS_PAUSES_SAY)
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0x61, 0x08]), body(PARITY_BODY, [0x01, 0x02, 0x03, 0x04]),
                     flags=session, extra=ANSWER_PLAIN_KNOWN | AS_PAUSES_SAY)
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0x30, 0x08]), body(CRC_A_BODY, [0] * 16), flags=ENCRYPTED_AIR)
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0x50, 0x00]), flags=session))
    # Frames that break their rules: a BCC, an NVB, lengths, a CRC, parity.
    write('airdecoder', 'typea-malformed', activation
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0x93, 0x70, 0x04, 0xA2, 0x3B, 0x15, 0x00]), body(CRC_A_BODY, [0x08, 0x01]))
          + exchange(MILLER_AIR, body(BITS_BODY, with_parity([0x93, 0x25, 0x04]) + [0, 0, 1]), body(PARITY_BODY, [0xA2, 0x3B]))
          + exchange(MILLER_AIR, body(PARITY_BODY, [0x95, 0x99]), body(PARITY_BODY, [0x88, 1, 2, 3, 0x88]),
                     collisions=[0, 0, 0, 1, 0, 0, 0, 0, 0, 1])
          + exchange(MILLER_AIR, body(BYTES_BODY, [0x30, 0x04, 0x00]), body(BITS_BODY, [1] * 19))
          + exchange(MILLER_AIR, body(PARITY_BODY, [0x50, 0x01]), extra=AS_PAUSES_SAY | DELAY, delay_us=5)
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0xA2, 0x05, 1, 2]), body(BITS_BODY, [0, 0, 0, 0]))
          + exchange(MILLER_AIR, body(CRC_A_BODY, [0x93, 0x70] + uid_cl1), body(CRC_A_BODY, [0x04]),
                     extra=COLLISIONS | AS_PAUSES_SAY, collisions=[1]))
    # The chip's settings: pauses too short, too long, too shallow; the field off.
    write('airdecoder', 'hearing', exchange(MILLER_AIR, body(BITS_BODY, [0, 1, 1, 0, 0, 1, 0]), extra=SETTINGS_FOLLOW | AS_PAUSES_SAY,
                                            settings=[FIELD_ON, MILLER, 0x02, 0x3F, 0x3F, 0x02, PARITY])
          + exchange(MILLER_AIR, body(BITS_BODY, [0, 1, 1, 0, 0, 1, 0]), extra=SETTINGS_FOLLOW | AS_PAUSES_SAY,
                     settings=[FIELD_ON, MILLER, 0x3F, 0x3F, 0x3F, 0x02, PARITY])
          + exchange(MILLER_AIR, body(PARITY_BODY, [0x93, 0x20]), extra=FIELD_OFF_HEARING)
          + exchange(MILLER_AIR, body(PARITY_BODY, [0x93, 0x20]), extra=CODER_MUTED)
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x26, 0x01, 0x00]), extra=NOT_MODELLED)
          + exchange(NRZ_AIR, body(BYTES_BODY, [0x05, 0x00, 0x00]))
          + exchange(OTHER_AIR, body(BITS_BODY, [1, 0, 1]), extra=RESET | AS_PAUSES_SAY))
    uid = list(struct.pack('<Q', 0xE004010866215731))
    inventory = exchange(TWO_FIFTY_SIX_AIR, body(CRC_3309_BODY, [0x06, 0x01, 0x00]))
    for slot in range(15):
        answer = body(CRC_3309_BODY, [0x00, 0x00] + uid) if slot == 0 else NO_ANSWER
        inventory += exchange(TWO_FIFTY_SIX_AIR, [], answer, flags=A_PULSE)
    write('airdecoder', 'vicinity-inventory', inventory
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x26, 0x01, 0x00]), body(CRC_3309_BODY, [0x00, 0x00] + uid)))
    write('airdecoder', 'vicinity-commands',
          exchange(FOUR_AIR, body(CRC_3309_BODY, [0x02, 0x20, 0x05]), body(CRC_3309_BODY, [0x00, 1, 2, 3, 4]))
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x42, 0x20, 0x05]), body(CRC_3309_BODY, [0x00, 0x00, 1, 2, 3, 4]))
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x22, 0x23] + uid + [0x03, 0x02]),
                     body(CRC_3309_BODY, [0x00] + list(range(12))))
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x02, 0x21, 0x03, 1, 2, 3, 4]), body(CRC_3309_BODY, [0x01, 0x0F]))
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x02, 0x2B]), body(CRC_3309_BODY, [0x00, 0x0F] + uid + [0, 0, 0x1B, 3, 1]))
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x02, 0x2C, 0x00, 0x04]), body(CRC_3309_BODY, [0x00] + [0] * 5))
          # A missing parameter, bytes in excess, a CRC wrong, not whole bytes.
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x02, 0x21, 0x03]), body(CRC_3309_BODY, [0x01, 0x03]))
          + exchange(FOUR_AIR, body(CRC_3309_BODY, [0x02, 0x20, 0x05, 0x06, 0x07]), body(BYTES_BODY, [0x00, 1, 2]))
          + exchange(FOUR_AIR, body(BYTES_BODY, [0x02, 0x20, 0x05, 0x00, 0x00]), body(BITS_BODY, [1] * 13))
          + exchange(FOUR_AIR, body(BITS_BODY, [0, 1] * 11), body(CRC_3309_BODY, [0x00])))


if __name__ == '__main__':
    readerlink_seeds()
    chipmodel_seeds()
    cards_seeds()
    accessconditions_seeds()
    dumpfile_seeds()
    cliarguments_seeds()
    airdecoder_seeds()
