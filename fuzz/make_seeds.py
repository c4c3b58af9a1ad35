#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/).

Run from anywhere; existing seeds of the same name are overwritten, others
(crashers added by hand) are kept.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u16(n):
    return struct.pack('>H', n)


def cstr(s):
    b = s.encode() if isinstance(s, str) else s
    return u16(len(b)) + b


def attr(key, kind, value):
    if kind == 0:
        v = b''
    elif kind == 1:
        v = value.encode()
    elif kind == 2:
        v = struct.pack('<i', value)
    elif kind == 3:
        v = struct.pack('<I', value)
    elif kind == 4:
        v = struct.pack('<f', value)
    else:
        v = bytes([1 if value else 0])
    return cstr(key) + bytes([kind]) + u16(len(v)) + v


def node(name, value='', attrs=(), children=()):
    out = cstr(name) + cstr(value) + u16(len(attrs))
    for a in attrs:
        out += attr(*a)
    out += u16(len(children))
    for c in children:
        out += c
    return out


metering = ('<unso id="metering"><levels rmlf="-23.500000" rmrf="-24.000000" rmlp="-12.000000" '
            'rmrp="-12.500000" smlf="-30.000000" smrf="-31.250000" smlp="-18.000000" smrp="-19.000000"/></unso>')
peer = ('<peer active="false" addr="10.0.0.{i}" can_connect="true" chan_state="0" id="{i}" '
        'name="Studio {i} &amp; more" profile="p{i}" pw="" stored="true" unit="1"/>')
peer_list = '<resp seq="peerList">' + ''.join(peer.format(i=i) for i in range(3)) + '</resp>'
option = ('<option name="opt{i}" type="enum" value="a" label="Option &quot;{i}&quot;">'
          '<choice value="a" label="A"/><choice value="b" label="B"/></option>')
channel_opts = '<resp seq="channelOpts"><channel id="0">' + ''.join(option.format(i=i) for i in range(3)) + '</channel></resp>'
config = ('<?xml version="1.0" encoding="UTF-8"?>\n<config>\n    <device addr="127.0.0.1" port="8080" pw="x"/>\n'
          '    <window x="10" y="20"/>\n</config>\n')

xml_seeds = {
    'ping': '<ping seq="ping"/>',
    'hello': '<hello seq="hello" version="1"/>',
    'login': '<login username="admin" challenge="0123456789abcdef"/>',
    'resp_fail': '<resp seq="sysOptions" fail="true" error_code="401" error_text="Unauthorized"/>',
    'metering': metering,
    'peer_list': peer_list,
    'channel_opts': channel_opts,
    'subscribe': '<subscribe seq="internal"><sub id="metering" interval="100"/><sub id="peerList"/></subscribe>',
    'config': config,
    'prolog': '<?xml version="1.0"?><!-- note --><?pi data?><!DOCTYPE a><a b="1">text</a>',
    'text_runs': '<a>one<b/>two<![CDATA[<three>]]><c>x&#65;&lt;</c>\n  </a>',
    'escapes': '<a q="&quot;&lt;&gt;&amp;&#9;&#10;&#13;" s=\'single\'/>',
    'namespaces': '<p:a xmlns:p="urn:x" xmlns="urn:y" p:k="v"><p:b/></p:a>',
    'unicode': '<a name="caf\u00e9 \u4e2d \U0001F600">\u00fc</a>',
    'truncated': '<resp seq="peerList"><peer id="1" name="x',
    'bad_attr': '<a x="1" x="2"><b/></a>',
    'bad_entity': '<a>&nope;</a>',
    'deep': '<a>' * 300 + '</a>' * 300,
    'not_xml': 'hello world',
    'brace': '{"a":1}',
    'empty_name': '</>',
}

compact_seeds = {
    'ping': node('ping'),
    'kinds': node('resp', '', [('a', 0, None), ('b', 1, 'str'), ('c', 2, -7), ('d', 3, 7), ('e', 4, 2.5), ('f', 5, True)]),
    'children': node('peerList', '', [('seq', 1, 'peerList')],
                     [node('peer', '', [('id', 2, i), ('name', 1, 'Studio %d' % i)]) for i in range(3)]),
    'value': node('a', 'some text', [], [node('b', 'x')]),
    'dup_keys': node('a', '', [('k', 1, 'one'), ('k', 2, 2), ('b', 5, False)]),
    'unsorted': node('a', '', [('z', 1, '1'), ('a', 1, '2')]),
    'bad_kind': cstr('a') + cstr('') + u16(1) + cstr('k') + bytes([9]) + u16(4) + b'\0\0\0\0' + u16(0),
    'big_scalar': cstr('a') + cstr('') + u16(1) + cstr('k') + bytes([2]) + u16(8) + b'\0' * 8 + u16(0),
    'short_string': cstr('a')[:1] + b'\x05ab',
    'many_children': cstr('a') + cstr('') + u16(0) + u16(65535) + node('b'),
}


def write(target, name, data):
    d = os.path.join(HERE, 'corpus', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def chunked(frames, flags, sizes):
    """flags byte, then length-prefixed chunks of the concatenated frames."""
    stream = b''.join(frames)
    out = bytes([flags])
    pos = 0
    i = 0
    while pos < len(stream):
        n = min(sizes[i % len(sizes)], 255, len(stream) - pos)
        out += bytes([n]) + stream[pos:pos + n]
        pos += n
        i += 1
    return out


for name, text in xml_seeds.items():
    write('fuzz_parse', 'xml_' + name, text.encode())
for name, data in compact_seeds.items():
    write('fuzz_parse', 'compact_' + name, b'\0' + data)
    write('fuzz_compact', name, b'\0' + data)
    write('fuzz_compact', name + '_trunc', b'\0' + data[:len(data) // 2])
write('fuzz_parse', 'empty', b'')
write('fuzz_parse', 'soh', b'\x01<a/>')
write('fuzz_compact', 'offset', bytes([3]) + b'xyz' + compact_seeds['kinds'])

wire = [t.encode() + b'\0' for t in (xml_seeds['ping'], metering, peer_list, channel_opts, xml_seeds['resp_fail'])]
receive_seeds = {
    'one_chunk': chunked(wire, 0, [255]),
    'small_chunks': chunked(wire, 0, [1, 2, 3, 5, 7]),
    'throwing_handler': chunked(wire, 0x01, [64]),
    'failing_handler': chunked(wire, 0x02, [17]),
    'sending_handler': chunked(wire, 0x04, [100, 3]),
    'all_flags': chunked(wire, 0x0F, [33]),
    'empty_frames': chunked([b'\0', b'\0', b'<a/>\0', b'\0'], 0, [1]),
    'garbage_frames': chunked([b'hello\0', b'\x01<a/>\0', b'<a><b>\0', b'{x}\0'], 0x01, [4]),
    'tail_only': chunked([b'<resp seq="x"><peer id="1"/>'], 0, [3]),
    'deep': chunked([('<a>' * 300).encode() + b'\0'], 0, [255]),
    'only_terminators': chunked([b'\0' * 40], 0, [7]),
    'dtd_then_entity': chunked([b'<!DOCTYPE a [<!ENTITY foo "bar">]><a>&foo;</a>\0', b'<a>&foo;</a>\0'], 0, [11]),
    'broken_dtd_then_entity': chunked([b'<!DOCTYPE a [<!ENTITY foo "bar"> <x\0', b'<a>&foo;</a>\0'], 0, [255]),
    'unicode': chunked([xml_seeds['unicode'].encode() + b'\0'] * 3, 0, [1, 4]),
    'config_frames': chunked([config.encode() + b'\0', xml_seeds['prolog'].encode() + b'\0'], 0x04, [50]),
    'escapes_echoed': chunked([xml_seeds['escapes'].encode() + b'\0', xml_seeds['namespaces'].encode() + b'\0'], 0x04, [9]),
    'text_runs': chunked([xml_seeds['text_runs'].encode() + b'\0'] * 2, 0x02, [13]),
    'subscribe_login': chunked([xml_seeds['subscribe'].encode() + b'\0', xml_seeds['login'].encode() + b'\0',
                                xml_seeds['hello'].encode() + b'\0'], 0x08, [2, 200]),
    'long_tail': chunked(wire + [b'<resp seq="peerList">' + b'<peer id="1"/>' * 40], 0, [255]),
}
for name, data in receive_seeds.items():
    write('fuzz_xmls_receive', name, data)
