#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/: the sample
board and the malformed boards the tests use, in each target's input form."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
BOARD = os.path.join(HERE, "..", "examples", "board")
SEP = b"\xff\x00\xff\x00"
FIELD = b"\x1f"


def sj(text):
    return text.encode("cp932")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def load_seeds():
    user = read(os.path.join(BOARD, "user.txt"))
    group = read(os.path.join(BOARD, "group.txt"))
    first = sorted(os.listdir(os.path.join(BOARD, "user")))[0]
    per = read(os.path.join(BOARD, "user", first))
    put("load", "sample", user + SEP + group + SEP + per)
    per_a = sj("username=山田\r\nstatus=1,会議中\r\nplan=15時戻り\r\nextra\r\n")
    cases = {
        "quoted-comma": (b"a,p,2\r\n", b' 1,A\r\n02,"B,C" tail\r\n2,D\r\n', per_a),
        "empty-files": (b"", b"", b""),
        "blank-slots": (b"a,p,1\r\n,x,1\r\nb,q,0\r\n", b"1,A\r\n2,\r\n3,C\r\n", per_a),
        "lone-cr-lf": (b"a,p,1\rb,q,2\n", b"1,A\r2,B\n", b"username=x\rstatus=0\rplan="),
        "bad-number": (b"a,p,x\r\n", b"1,A\r\n", per_a),
        "out-of-range": (b"a,p,32768\r\n", b"-32768,A\r\n", per_a),
        "field-count": (b"a,p\r\n", b"1,A,extra\r\n", per_a),
        "open-quote": (b'a,"p,1\r\n', b"1,A\r\n", per_a),
        "bad-cp932": (b"a,p\x81\x20,1\r\n", b"1,A\r\n", b"username=\x80\r\nstatus=\xfd\r\n"),
        "slash-id": (b"../a,p,1\r\n", b"1,A\r\n", per_a),
        "no-equals": (b"a,p,1\r\n", b"1,A\r\n", b"nameonly\r\n"),
        "trailing-blanks": (b"  a  ,\tp ,  1  \r\n", b"1 , A \r\n", per_a),
    }
    for name, (u, g, p) in cases.items():
        put("load", name, u + SEP + g + SEP + p)


def settings_seeds():
    put("settings", "missing-file", SEP + "/srv/ボード".encode())
    put("settings", "plain", b"[Script]\r\nInstalledPath=/old\r\n" + SEP + b"/new/path")
    put("settings", "comments", b"; note\r\n[Other]\r\nk=v\r\n[script]\r\n ; c\r\n installedpath = '/x' \r\nNext=1\r\n\r\n" + SEP + b"/y")
    put("settings", "no-key", b"[Script]\r\nOther=1\r\n; trailing\r\n[More]\r\na=b" + SEP + b"/z")
    put("settings", "cp932", sj("[Script]\r\nInstalledPath=C:\\行き先掲示板\r\n") + SEP + b"/srv/board")
    put("settings", "lone-cr", b"[Script]\rInstalledPath=a\r[X]\ry=1" + SEP + b"/b")


def cp932_seeds():
    put("cp932", "japanese", sj("ソ表能①㈱Ⅲⅰ髙～ｱ\\~"))
    put("cp932", "neighbours", "〜—−‖¢£¬¥‾".encode())
    put("cp932", "unencodable", "é😀".encode())
    put("cp932", "bad-bytes", b"\x81\x20\x80\xa0\xfd\x87\x90\xed\x40\x81")
    put("cp932", "rules", "CON.txt a,b \"q =x\t".encode())


def roundtrip_seeds():
    # A count byte n stands for n + 1 records.
    def user(uid, pw, name, no):
        return uid.encode() + FIELD + pw.encode() + FIELD + name.encode() + FIELD + no.to_bytes(2, "big", signed=True)

    def group(name, no):
        return name.encode() + FIELD + no.to_bytes(2, "big", signed=True)

    put("roundtrip", "sample", bytes([3 - 1]) + user("tanaka", "p1", "田中 一郎", 1) + user("suzuki", "a b", "鈴木", 2)
        + user("", "", "", 0) + bytes([2 - 1]) + group("営業部", 1) + group("総務,人事", 2))
    put("roundtrip", "quotes", bytes([2 - 1]) + user(" a", "x,y", "名=前", -3) + user("a", "\"q", "n", 5)
        + bytes([1 - 1]) + group("\tg ", 32767))
    put("roundtrip", "case", bytes([2 - 1]) + user("U01", "p", "大", 0) + user("u01", "p", "小", 0) + bytes([0]) + group("", 0))


load_seeds()
settings_seeds()
cp932_seeds()
roundtrip_seeds()
