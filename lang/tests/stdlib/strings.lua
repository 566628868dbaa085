-- The string library against the reference: every value printed here is a
-- whole number, a string or a boolean, so both print it alike.
local function try(f, ...)
  local ok, msg = pcall(f, ...)
  print(ok, msg)
end

print(string.len(""), string.len("abc"), #"abc", ("x"):len())
print(string.byte("hello"), string.byte("hello", 2, 4))
print(string.byte("hello", -3, -1))
print(string.byte("hello", 10), string.byte("", 1))
print(string.char(), string.char(104, 105, 33), string.char(0):len())
print(string.rep("ab", 3), string.rep("ab", 3, ","), string.rep("x", 0) == "", string.rep("x", -2) == "")
print(string.reverse("stressed"), string.lower("MiXeD 123!"), string.upper("MiXeD 123!"))
print(string.sub("hello", 2, 4), string.sub("hello", -3), string.sub("hello", 0), string.sub("hello", 4, 2) == "")

-- find
print(string.find("hello world", "o w"))
print(string.find("hello", "l+"))
print(string.find("hello", "xyz"))
print(string.find("hello", "", 10))
print(string.find("hello", "", 6))
print(string.find("hello", "l", -2))
print(string.find("a.b", ".", 1, true))
print(string.find("a+b", "+", 1, true))
print(string.find("a)b", "a)"))
print(string.find("THE (quick) fox", "%((%a+)%)"))
print(string.find("abc", "b", -10), string.find("abc", "c", 10))

-- match and captures
print(string.match("key = value", "(%w+)%s*=%s*(%w+)"))
print(string.match("hello", "()ll()"))
print(string.match("  trim me  ", "^%s*(.-)%s*$") .. "|")
print(string.match("2024-01-05", "(%d+)-(%d+)-(%d+)"))
print(string.match("hello", ".-(l+)(.*)"))
print(string.match("[[x]]", "%[(%[?)"))
print(string.match("x123y", "^x(%d-)y$"), string.match("aaa", "a-b"), string.match("aaab", "a-b"))
print(string.match("abc", "[^a]+"), string.match("a-b", "[a%-]+"), string.match("]x", "[]x]+"))
print(string.match("hello", "h(.)%1"), string.match("hello", "(l)%1"), string.match("abcabc", "(abc)%1"))
print(string.match("f(a(b)c)d", "%b()"), string.match("x", "%bxy"))
print(string.match("THE (quick) fox", "%f[%a]%a+"), string.match("hello", "^(h)"), string.match("hello", "^(e)"))
print(string.match("end.", "%.$"), string.match("a$b", "a$b"), string.match("x^y", "x^y"))
print(string.match("key=val", "(%w+)=(%w*)"), string.match("key=", "(%w+)=(%w*)"))
print(string.match("0x1F", "^0[xX](%x+)$"), string.match("tab\there", "%s"), string.match("Caps", "%u%l+"))
print(string.match("a,b,,c", "([^,]*),([^,]*),([^,]*),([^,]*)"))
print(string.match("hello", "(h)(e)(l)(l)(o)"))
print(string.match("\0a\0", "%z(a)"))

-- gmatch
local parts = {}
for k, v in string.gmatch("a=1, b=2, c=3", "(%w+)=(%w+)") do parts[#parts + 1] = k .. v end
print(table.concat(parts, ";"))
parts = {}
for w in string.gmatch("one two  three", "%a+") do parts[#parts + 1] = "<" .. w .. ">" end
print(table.concat(parts))
parts = {}
for e in string.gmatch("abc", "") do parts[#parts + 1] = "." end
print(#parts)
parts = {}
for a, b in string.gmatch("x1y2", "()(%d)") do parts[#parts + 1] = a .. ":" .. b end
print(table.concat(parts, " "))

-- gsub
print(string.gsub("hello world", "o", "0"))
print(string.gsub("abc", "", "-"))
print(string.gsub("hello", "(l)(l)", "%2%1%0"))
print(string.gsub("hello world", "%w+", "<%0>", 1))
print(string.gsub("abc", "%w", {a = 1, b = false}))
print(string.gsub("abc", "%w", function(c) if c == "b" then return nil end return c:upper() end))
print(string.gsub("hello", "", "%%"))
print(string.gsub("abc", "^a", "X"))
print(string.gsub("aaa", "^a", "X"))
print(string.gsub("$1.50 and $2.25", "%$(%d+)%.(%d+)", "%2c of %1"))
print(string.gsub("one two", "(%w+) (%w+)", "%2 %1"))
print(string.gsub("x", "x", "%%1"))

-- format
print(string.format("%5.2s|%-5s|%q", "abc", "x", "a\0b\n\r\"\\\1\0012"))
print(string.format("%c%c%c", 76, 117, 97))
print(string.format("[%5d] [%-5d] [%+d] [% d] [%05d] [%x] [%X] [%#x] [%o]", 42, 42, 5, 5, 42, 255, 255, 255, 8))
print(string.format("%d %d %d", 3.5, -3.5, 0.25))
print(string.format("[%5.1f] [%.3f] [%e] [%g] [%.2f]", 2.5, 0.25, 1024, 0.5, -1.5))
print(string.format("%s %s %s %s", 1, "two", true, nil))
print(string.format("%10s|%-10s|", "right", "left"))
print(string.format("%.3s|%q", "abcdef", 'say "hi"\n'))
print(string.format("%%|%%%%|"))
print(string.format("%s", string.rep("x", 120)):len())
print(#string.format("%-99d|", 1), #string.format("%99.99f", 1))

-- errors
try(string.find, "abc", "%")
try(string.find, "abc", "[a")
try(string.find, "abc", "[^")
try(string.find, "abc", "%f")
try(string.find, "abc", "%1")
try(string.find, "abc", "(a")
try(string.find, "abc", "%b")
try(string.gsub, "abc", "a", "%2")
try(string.gsub, "abc", "a", "%x")
try(string.gsub, "abc", "(a)", {a = true})
try(string.gsub, "abc", "a", true)
try(string.format, "%y", 1)
try(string.format, "%------d", 1)
try(string.format, "%123d", 1)
try(string.format, "%.123d", 1)
try(string.format, "%d")
try(string.format, "%d", "x")
try(string.format, "%x", -1)
try(string.format, "%q", {})
try(string.char, 256)
try(string.char, -1)
try(string.rep)
try(string.find, string.rep("a", 300), string.rep("(a)", 40))
try(string.gmatch, "x")
try(string.dump, print)
try(string.byte, {})
