-- The table library against the reference.
local function try(f, ...)
  local ok, msg = pcall(f, ...)
  print(ok, msg)
end

print(table.concat({1, 2, 3}, ", "), table.concat({"a", "b", "c"}, "", 2), table.concat({}, "x") == "")
print(table.concat({1, 2, 3}, "-", 2, 3), table.concat({1, 2, 3}, "-", 3, 2) == "")
local t = {1, 2, 3}
table.insert(t, 4)
table.insert(t, 1, 0)
table.insert(t, #t + 1, 5)
print(table.concat(t, ","), #t)
print(table.remove(t), table.remove(t, 1), table.concat(t, ","), #t)
print(table.remove({}), #t)
print(table.remove(t, #t + 1), #t)
print(table.unpack({1, 2, 3}))
print(table.unpack({1, 2, 3}, 2))
print(table.unpack({1, 2, 3}, 2, 5))
print(table.unpack({1, 2, 3}, 3, 2))
local p = table.pack(1, nil, 3)
print(p.n, p[1], p[2], p[3])
print(table.pack().n)

-- sort: numbers, strings, a comparator, many items.
local s = {5, 2, 8, 1, 9, 3}
table.sort(s)
print(table.concat(s, " "))
table.sort(s, function(a, b) return a > b end)
print(table.concat(s, " "))
local words = {"pear", "apple", "fig", "banana", "cherry", "apple"}
table.sort(words)
print(table.concat(words, " "))
local big, x = {}, 7
for i = 1, 500 do
  x = (x * 31 + 11) % 1009
  big[i] = x
end
table.sort(big)
local ok = true
for i = 2, #big do if big[i - 1] > big[i] then ok = false end end
print(ok, #big, big[1], big[500])
local records = {}
for i = 1, 50 do records[i] = {key = (i * 17) % 23, id = i} end
table.sort(records, function(a, b) if a.key ~= b.key then return a.key < b.key end return a.id < b.id end)
print(records[1].key, records[1].id, records[50].key, records[50].id)
local one = {42}
table.sort(one)
print(one[1])
table.sort({})

-- metamethods count for the length
local proxy = setmetatable({}, {__len = function() return 2 end})
proxy[1], proxy[2], proxy[3] = "a", "b", "c"
print(table.concat(proxy, "+"), table.unpack(proxy))

try(table.concat, {1, {}, 3})
try(table.concat, {}, ",", 1, 3)
try(table.insert, {1}, 1, 2, 3)
try(table.insert, {1}, 5, 2)
try(table.insert, {1}, 0, 2)
try(table.remove, {1}, 5)
try(table.sort, {3, 1, "x"})
try(table.sort, {1, 2}, 3)
try(table.insert, nil, 1)
