"""A small reader of Windows PE files (32 and 64 bit): sections, data directories and the
resource tree, enough for the checks in scripts/ to read what the built files carry."""
import struct

RT_VERSION = 16


class PeImage:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        nsections = struct.unpack_from("<H", data, pe + 6)[0]
        opt_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        if self.magic not in (0x10B, 0x20B):
            raise ValueError("unknown optional header 0x%x" % self.magic)
        self.bits = 32 if self.magic == 0x10B else 64
        self._directories = opt + (96 if self.bits == 32 else 112)
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            name = data[s:s + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((name, va, max(vsize, rawsize), rawptr))

    def directory(self, index):
        """(rva, size) of data directory `index` (0 exports, 1 imports, 2 resources, ...)."""
        return struct.unpack_from("<II", self.data, self._directories + 8 * index)

    def offset(self, rva):
        for _, va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError("address 0x%x lies in no section" % rva)

    def resources(self, type_id):
        """Every resource of a numeric type as (name id, language id, bytes)."""
        rva, size = self.directory(2)
        if rva == 0 or size == 0:
            return []
        root = self.offset(rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                yield name, target

        found = []
        for type_name, type_target in entries(root):
            if type_name != type_id or not type_target & 0x80000000:
                continue
            for name, name_target in entries(root + (type_target & 0x7FFFFFFF)):
                if not name_target & 0x80000000:
                    continue
                for language, leaf in entries(root + (name_target & 0x7FFFFFFF)):
                    data_rva, data_size = struct.unpack_from("<II", self.data, root + leaf)
                    start = self.offset(data_rva)
                    found.append((name, language, self.data[start:start + data_size]))
        return found


def version_info_tree(blob):
    """A VS_VERSIONINFO block and its children as (key, value, children); text values are str,
    binary ones bytes."""
    return _block(blob, 0)[:3]


def _block(blob, at):
    length, value_length, kind = struct.unpack_from("<HHH", blob, at)
    end = at + length
    pos = at + 6
    key_end = pos
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[pos:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    if kind == 1:  # text, its length counted in characters with the closing NUL
        raw = blob[pos:pos + 2 * value_length]
        value = raw.decode("utf-16-le").split("\0", 1)[0]
        pos += 2 * value_length
    else:
        value = blob[pos:pos + value_length]
        pos += value_length
    pos = (pos + 3) & ~3
    children = []
    while pos < end:
        child = _block(blob, pos)
        children.append(child[:3])
        pos = (pos + child[3] + 3) & ~3
    return key, value, children, length
