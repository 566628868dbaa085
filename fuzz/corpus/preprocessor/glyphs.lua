btn(ã) btn(ë) btn(î) btn(É)
x = é + ó + è
print("ã")
