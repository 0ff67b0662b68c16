[playlist]
NumberOfEntries=3
File1=/music/a.mp3
Title1=A
file2 = relative/b.mp3 
FILE3=http://x.example/s
File4
Length1=-1
Version=2
