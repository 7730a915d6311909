"""Reads the parts of a Windows PE file (DLL or program) that our checks
need: sections, data directories, exports, imports and the version
resource."""
import struct

EXPORT_DIRECTORY, IMPORT_DIRECTORY, RESOURCE_DIRECTORY = 0, 1, 2
RT_VERSION = 16
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


class PeFile:
    def __init__(self, path):
        self.data = data = open(path, "rb").read()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(path + ": not a PE file")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self._directories = optional + (96 if magic == 0x10B else 112)
        self._sections = [(va, raw, size) for size, va, _, raw in
                          (struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
                           for i in range(sections))]

    def offset(self, rva):
        for va, raw, size in self._sections:
            if va <= rva < va + max(size, 1):
                return rva - va + raw
        raise ValueError("rva %x outside the sections" % rva)

    def directory(self, index):
        """(rva, size) of a data directory; rva 0 when absent."""
        return struct.unpack_from("<II", self.data, self._directories + 8 * index)

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def exports(self):
        """Exported names and their addresses."""
        rva = self.directory(EXPORT_DIRECTORY)[0]
        if rva == 0:
            return {}
        _, count_names, functions, names, ordinals = struct.unpack_from("<20x IIIII", self.data, self.offset(rva))
        exported = {}
        for i in range(count_names):
            name = self.text(struct.unpack_from("<I", self.data, self.offset(names) + 4 * i)[0])
            ordinal = struct.unpack_from("<H", self.data, self.offset(ordinals) + 2 * i)[0]
            exported[name] = struct.unpack_from("<I", self.data, self.offset(functions) + 4 * ordinal)[0]
        return exported

    def imports(self):
        """Names of the imported libraries, lower case."""
        entry = self.offset(self.directory(IMPORT_DIRECTORY)[0])
        libraries = []
        while True:
            name_rva = struct.unpack_from("<I", self.data, entry + 12)[0]
            if name_rva == 0:
                return libraries
            libraries.append(self.text(name_rva).lower())
            entry += 20

    def version_info(self):
        """(file version tuple, product version tuple, {string name: value}) of
        the first version resource, or None."""
        root_rva = self.directory(RESOURCE_DIRECTORY)[0]
        if root_rva == 0:
            return None
        root = self.offset(root_rva)

        def entries(table):
            named, ids = struct.unpack_from("<12x HH", self.data, root + table)
            return [struct.unpack_from("<II", self.data, root + table + 16 + 8 * i) for i in range(named + ids)]

        def first_leaf(target):
            while target & 0x80000000:
                children = entries(target & 0x7FFFFFFF)
                if not children:
                    return None
                target = children[0][1]
            return struct.unpack_from("<II", self.data, root + target)

        for name, target in entries(0):
            if name == RT_VERSION:
                leaf = first_leaf(target)
                if leaf:
                    start = self.offset(leaf[0])
                    return _parse_version_block(self.data[start:start + leaf[1]])
        return None


def _align(position):
    return (position + 3) & ~3


def _read_node(block, start):
    """One node of a version resource: (key, value bytes, is text, children, end)."""
    length, value_length, is_text = struct.unpack_from("<HHH", block, start)
    end = start + length
    key_end = start + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[start + 6:key_end].decode("utf-16-le")
    value_start = _align(key_end + 2)
    value_bytes = value_length * 2 if is_text else value_length
    value = block[value_start:value_start + value_bytes]
    children = []
    position = _align(value_start + value_bytes)
    while position < end:
        child = _read_node(block, position)
        children.append(child)
        position = _align(child[4])
    return key, value, is_text, children, end


def _parse_version_block(block):
    key, fixed, _, children, _ = _read_node(block, 0)
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        raise ValueError("malformed version resource")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != FIXED_FILE_INFO_SIGNATURE:
        raise ValueError("malformed fixed file information")

    def quad(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    for name, _, _, tables, _ in children:
        if name == "StringFileInfo":
            for _, _, _, values, _ in tables:
                for value_name, value, _, _, _ in values:
                    strings[value_name] = value.decode("utf-16-le").rstrip("\0")
    return quad(file_ms, file_ls), quad(product_ms, product_ls), strings
