[playlist]
File1=	 
File2=./c.mp3
File10=d:/e.mp3
